#include "DaytimeClock.h"
#include "FakeConsole.h"
#include "Protocol.h"
#include "StationWindow.h"
#include "TestSupport.h"
#include "TimemasterWindow.h"
#include "TimeServiceStandIn.h"

#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

// A station program started in a directory of its own, its console link going to
// a console stand-in on loopback.
class StartedStation
{
public:
    StartedStation()
    {
        QFile ini(m_directory.filePath(QStringLiteral("Client.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Server]\r\nIP=127.0.0.1\r\n");
        ini.close();
        window = std::make_unique<StationWindow>(1, m_directory.path(), console.port());
    }

    bool announced() const { return console.messages().contains(Protocol::startupMessage(1)); }

    FakeConsole console{1};
    std::unique_ptr<StationWindow> window;

private:
    QTemporaryDir m_directory;
};

QPushButton *updateButton(QWidget *window)
{
    return window->findChild<QPushButton *>(QStringLiteral("Command1"));
}

}

class DaytimeTest : public QObject
{
    Q_OBJECT

private slots:
    void replySetsTheClock_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("time server")
            << QStringLiteral("53138 04-05-12 10:20:30 50 0 0 0.0 UTC(NIST) *")
            << utc(2004, 5, 12, 10, 20, 30);
        QTest::newRow("with the server's line ends")
            << QStringLiteral("\n60000 23-03-26 01:59:59 50 0 0 0.0 UTC(NIST) *\n")
            << utc(2023, 3, 26, 1, 59, 59);
        QTest::newRow("last year of the century")
            << QStringLiteral("x 99-12-31 23:59:59") << utc(2099, 12, 31, 23, 59, 59);
        QTest::newRow("first year of the century")
            << QStringLiteral("x 00-01-01 00:00:00") << utc(2000, 1, 1, 0, 0, 0);
    }
    void replySetsTheClock()
    {
        QFETCH(QString, reply);
        QFETCH(QDateTime, moment);
        TimeServiceStandIn timeService;
        QVERIFY(!DaytimeClock::SetClockFromDaytime(reply));
        QCOMPARE(timeService.clockWrites(), QList<QDateTime>{moment});
    }

    void replyWithoutDateAndTimeSetsNothing_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("two blanks before the date")
            << QStringLiteral("53138  04-05-12 10:20:30 50");
        QTest::newRow("plain word") << QStringLiteral("53138 Hallo 10:20:30");
        QTest::newRow("empty reply") << QString();
        QTest::newRow("one field") << QStringLiteral("53138");
        QTest::newRow("no time field") << QStringLiteral("53138 04-05-12");
        QTest::newRow("time is a word") << QStringLiteral("53138 04-05-12 Mittag");
        QTest::newRow("foreign digits") << QStringLiteral(u"53138 04-05-1\u0662 10:20:30");
    }
    void replyWithoutDateAndTimeSetsNothing()
    {
        QFETCH(QString, reply);
        TimeServiceStandIn timeService;
        QVERIFY(DaytimeClock::SetClockFromDaytime(reply));
        QVERIFY(timeService.clockWrites().isEmpty());
    }

    void impossibleMomentsAreRefused_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("month 13, day 40") << QStringLiteral("53138 04-13-40 10:20:30");
        QTest::newRow("31 February") << QStringLiteral("53138 04-02-31 10:20:30");
        QTest::newRow("hour 24") << QStringLiteral("53138 04-05-12 24:00:00");
        QTest::newRow("leap second") << QStringLiteral("53138 16-12-31 23:59:60");
    }
    void impossibleMomentsAreRefused()
    {
        QFETCH(QString, reply);
        TimeServiceStandIn timeService;
        QVERIFY(DaytimeClock::parseDaytimeReply(reply).has_value());
        QVERIFY(DaytimeClock::SetClockFromDaytime(reply));
        QVERIFY(timeService.clockWrites().isEmpty());
    }

    void systemRefusalIsReported()
    {
        TimeServiceStandIn timeService;
        timeService.refuseClockWrites();
        QCOMPARE(DaytimeClock::SetClockFromDaytime(QStringLiteral("1 04-05-12 10:20:30")).text(),
                 QStringLiteral("Die Uhr dieses PCs konnte nicht gestellt werden."));
        QCOMPARE(timeService.clockWrites().size(), 1);
    }

    void timemasterSetsTheClockAndCloses()
    {
        TimeServiceStandIn timeService;
        DaytimeServer &server = timeService.server();
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QCOMPARE(window->objectName(), QStringLiteral("frmTimemaster"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Timemaster"));
        QCOMPARE(updateButton(window)->text(), QStringLiteral("Sytemzeit aktuallisieren"));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(timeService.clockWrites(), QList<QDateTime>{utc(2004, 5, 12, 10, 20, 30)});
        QVERIFY(messages.shown().isEmpty());

        server.setReply("53138 Hallo 10:20:30");
        window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(server.connectionsSeen(), 2);
        QCOMPARE(timeService.clockWrites().size(), 1);
        QVERIFY(messages.shown().isEmpty());
    }

    void timemasterReportsAMissingServerAndCloses()
    {
        TimeServiceStandIn timeService;
        timeService.pointAtClosedPort();
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Sorry - Keine Verbindung")});
        QCOMPARE(messages.shown().first().title, QStringLiteral("Systemzeit nicht gestellt"));
        QCOMPARE(messages.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(timeService.clockWrites().isEmpty());
    }

    void openTimemasterIsOnlyRaised()
    {
        TimeServiceStandIn timeService;
        DaytimeServer &server = timeService.server();
        server.setMode(DaytimeServer::Mode::Hold);
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QCOMPARE(TimemasterWindow::showOrRaise(&mainWindow), window.data());
        server.answerHeld();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(server.connectionsSeen(), 1);
        QCOMPARE(timeService.clockWrites().size(), 1);
    }

    void buttonDuringARequestStartsAfresh()
    {
        TimeServiceStandIn timeService;
        DaytimeServer &server = timeService.server();
        server.setMode(DaytimeServer::Mode::Hold);
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_COMPARE(server.connectionsSeen(), 2);
        QTRY_COMPARE(server.openConnections(), 1);
        server.answerHeld();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(timeService.clockWrites().size(), 1);
    }

    void silentServerLeavesTheWindowOpen()
    {
        TimeServiceStandIn timeService;
        DaytimeServer &server = timeService.server();
        server.setMode(DaytimeServer::Mode::CloseSilently);
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QTRY_COMPARE(server.openConnections(), 0);
        settle();
        QVERIFY(!window.isNull() && window->isVisible());
        QVERIFY(messages.shown().isEmpty());

        server.setMode(DaytimeServer::Mode::Reply);
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(timeService.clockWrites().size(), 1);
    }

    void megabyteReplyIsTakenAsOneReplyWithoutHarm()
    {
        TimeServiceStandIn timeService;
        QByteArray flood(1 << 20, '\0');
        for (int i = 0; i < flood.size(); ++i)
            flood[i] = char(i % 251);
        timeService.server().setReply(flood);
        MessageRecorder messages;
        QWidget mainWindow;
        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QVERIFY(timeService.clockWrites().isEmpty());
        QVERIFY(messages.shown().isEmpty());

        // A valid reply followed by a megabyte of padding still sets the clock.
        timeService.server().setReply("53138 04-05-12 10:20:30 50 0 0 0.0 UTC(NIST) *\n"
                                      + QByteArray(1 << 20, ' '));
        window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(timeService.clockWrites(), QList<QDateTime>{utc(2004, 5, 12, 10, 20, 30)});
    }

    void stationWithAnUnresolvableConsoleStaysQuiet()
    {
        TimeServiceStandIn timeService;
        MessageRecorder messages;
        QTemporaryDir directory;
        QFile ini(directory.filePath(QStringLiteral("Client.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // A label longer than 63 characters is refused before any name server is asked.
        ini.write("[Server]\r\nIP=kasse-" + QByteArray(70, 'x') + ".lokal\r\n");
        ini.close();
        StationWindow window(1, directory.path(), freeLoopbackPort());
        settle();
        QVERIFY(messages.shown().isEmpty());
        QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("cmdStart"))->isEnabled());
        QVERIFY(window.findChild<QPushButton *>(QStringLiteral("cmdVerbinden"))->isEnabled());
    }

    void stationSetsTheClockOnceAtStart()
    {
        TimeServiceStandIn timeService;
        MessageRecorder messages;
        StartedStation station;
        QTRY_COMPARE(timeService.clockWrites(), QList<QDateTime>{utc(2004, 5, 12, 10, 20, 30)});
        QTRY_VERIFY(station.announced());
        QCOMPARE(timeService.server().connectionsSeen(), 1);
        QVERIFY(messages.shown().isEmpty());
    }

    void stationWithoutTimeServerSaysSoOnceAndWorksOn()
    {
        TimeServiceStandIn timeService;
        timeService.pointAtClosedPort();
        MessageRecorder messages;
        StartedStation station;
        QTRY_COMPARE(messages.texts(), QStringList{QStringLiteral("Sorry - Keine Verbindung")});
        QCOMPARE(messages.shown().first().title, QStringLiteral("Systemzeit nicht gestellt"));
        QTRY_VERIFY(station.announced());
        QTRY_VERIFY(
            station.window->findChild<QPushButton *>(QStringLiteral("cmdStart"))->isEnabled());
        settle();
        QCOMPARE(messages.shown().size(), 1);
        QVERIFY(timeService.clockWrites().isEmpty());
    }
};

QTEST_MAIN(DaytimeTest)
#include "tst_daytime.moc"

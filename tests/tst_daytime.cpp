#include "DaytimeClock.h"
#include "DaytimeRequest.h"
#include "DaytimeServer.h"
#include "TestSupport.h"
#include "TimemasterWindow.h"

#include <QDateTime>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

// Stands in for the system clock for the lifetime of the guard and records every
// moment the clock is set to.
class RecordedClockWrites
{
public:
    RecordedClockWrites()
    {
        DaytimeClock::setClockWriter([this](qint64 seconds) {
            m_moments.append(QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()));
            return m_accept;
        });
    }
    ~RecordedClockWrites() { DaytimeClock::setClockWriter({}); }
    RecordedClockWrites(const RecordedClockWrites &) = delete;
    RecordedClockWrites &operator=(const RecordedClockWrites &) = delete;

    void refuse() { m_accept = false; }
    const QList<QDateTime> &moments() const { return m_moments; }

private:
    QList<QDateTime> m_moments;
    bool m_accept = true;
};

// Points every daytime request at a loopback port for the lifetime of the guard.
class LoopbackTimeServer
{
public:
    explicit LoopbackTimeServer(quint16 port) { DaytimeRequest::setServer(QStringLiteral("127.0.0.1"), port); }
    ~LoopbackTimeServer() { DaytimeRequest::useTimeServer(); }
    LoopbackTimeServer(const LoopbackTimeServer &) = delete;
    LoopbackTimeServer &operator=(const LoopbackTimeServer &) = delete;
};

quint16 closedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

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
            << QStringLiteral("53138 04-05-12 10:20:30 50 0 0 0.0 UTC(NIST) *") << utc(2004, 5, 12, 10, 20, 30);
        QTest::newRow("with the server's line ends")
            << QStringLiteral("\n60000 23-03-26 01:59:59 50 0 0 0.0 UTC(NIST) *\n") << utc(2023, 3, 26, 1, 59, 59);
        QTest::newRow("last year of the century") << QStringLiteral("x 99-12-31 23:59:59") << utc(2099, 12, 31, 23, 59, 59);
        QTest::newRow("first year of the century") << QStringLiteral("x 00-01-01 00:00:00") << utc(2000, 1, 1, 0, 0, 0);
    }
    void replySetsTheClock()
    {
        QFETCH(QString, reply);
        QFETCH(QDateTime, moment);
        RecordedClockWrites writes;
        QVERIFY(DaytimeClock::SetClockFromDaytime(reply));
        QCOMPARE(writes.moments(), QList<QDateTime>{moment});
    }

    void replyWithoutDateAndTimeSetsNothing_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("two blanks before the date") << QStringLiteral("53138  04-05-12 10:20:30 50");
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
        RecordedClockWrites writes;
        QVERIFY(!DaytimeClock::SetClockFromDaytime(reply));
        QVERIFY(writes.moments().isEmpty());
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
        RecordedClockWrites writes;
        QVERIFY(DaytimeClock::parseDaytimeReply(reply).has_value());
        QVERIFY(!DaytimeClock::SetClockFromDaytime(reply));
        QVERIFY(writes.moments().isEmpty());
    }

    void systemRefusalIsReported()
    {
        RecordedClockWrites writes;
        writes.refuse();
        QVERIFY(!DaytimeClock::SetClockFromDaytime(QStringLiteral("1 04-05-12 10:20:30")));
        QCOMPARE(writes.moments().size(), 1);
    }

    void timemasterSetsTheClockAndCloses()
    {
        DaytimeServer server;
        LoopbackTimeServer target(server.port());
        RecordedClockWrites writes;
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QCOMPARE(window->objectName(), QStringLiteral("frmTimemaster"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Timemaster"));
        QCOMPARE(updateButton(window)->text(), QStringLiteral("Sytemzeit aktuallisieren"));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(writes.moments(), QList<QDateTime>{utc(2004, 5, 12, 10, 20, 30)});
        QVERIFY(messages.shown().isEmpty());

        server.setReply("53138 Hallo 10:20:30");
        window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(server.connectionsSeen(), 2);
        QCOMPARE(writes.moments().size(), 1);
        QVERIFY(messages.shown().isEmpty());
    }

    void timemasterReportsAMissingServerAndCloses()
    {
        LoopbackTimeServer target(closedLoopbackPort());
        RecordedClockWrites writes;
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Sorry - Keine Verbindung")});
        QCOMPARE(messages.shown().first().title, QStringLiteral("Systemzeit nicht gestellt"));
        QCOMPARE(messages.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(writes.moments().isEmpty());
    }

    void openTimemasterIsOnlyRaised()
    {
        DaytimeServer server;
        server.setMode(DaytimeServer::Mode::Hold);
        LoopbackTimeServer target(server.port());
        RecordedClockWrites writes;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QCOMPARE(TimemasterWindow::showOrRaise(&mainWindow), window.data());
        server.answerHeld();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(server.connectionsSeen(), 1);
        QCOMPARE(writes.moments().size(), 1);
    }

    void buttonDuringARequestStartsAfresh()
    {
        DaytimeServer server;
        server.setMode(DaytimeServer::Mode::Hold);
        LoopbackTimeServer target(server.port());
        RecordedClockWrites writes;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_COMPARE(server.connectionsSeen(), 2);
        QTRY_COMPARE(server.openConnections(), 1);
        server.answerHeld();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(writes.moments().size(), 1);
    }

    void silentServerLeavesTheWindowOpen()
    {
        DaytimeServer server;
        server.setMode(DaytimeServer::Mode::CloseSilently);
        LoopbackTimeServer target(server.port());
        RecordedClockWrites writes;
        MessageRecorder messages;
        QWidget mainWindow;

        QPointer<TimemasterWindow> window = TimemasterWindow::showOrRaise(&mainWindow);
        QTRY_COMPARE(server.connectionsSeen(), 1);
        QTRY_COMPARE(server.openConnections(), 0);
        QTest::qWait(50);
        QVERIFY(!window.isNull() && window->isVisible());
        QVERIFY(messages.shown().isEmpty());

        server.setMode(DaytimeServer::Mode::Reply);
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(writes.moments().size(), 1);
    }
};

QTEST_MAIN(DaytimeTest)
#include "tst_daytime.moc"

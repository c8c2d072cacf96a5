#include "Clock.h"
#include "ConsoleConfig.h"
#include "ConsoleFixture.h"
#include "FakeStation.h"
#include "IniFile.h"
#include "StationController.h"
#include "StationWindow.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <sqlite3.h>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}
}

class ConsoleFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void portsInUseLeaveOnlyThatPanelInactive()
    {
        ConsoleFixture fixture;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, fixture.port(1)));
        MessageRecorder messages;
        QCOMPARE(fixture.start(), MainWindow::StartOutcome::Running);
        QVERIFY(messages.shown().isEmpty());
        QVERIFY(!fixture.window().panel(1).start->isEnabled());

        FakeStation second;
        QVERIFY(second.connectTo(fixture.port(2)));
        second.send("Startup2");
        QVERIFY(second.waitForText("Stop2"));
        QVERIFY(fixture.window().panel(2).start->isEnabled());
        QVERIFY(!fixture.window().panel(1).start->isEnabled());
    }

    void lockedDatabaseSkipsTheRecordAndTheNextStopWorks()
    {
        ManualClock clock(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        ScopedClock guard(clock);
        ConsoleFixture fixture;
        QCOMPARE(fixture.start(), MainWindow::StartOutcome::Running);
        MainWindow &window = fixture.window();
        StationPanel &panel = window.panel(1);
        panel.withoutStation->click();

        // Another program holds the file's write lock throughout the stop.
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open_v2(fixture.databasePath().toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr),
                 SQLITE_OK);
        sqlite3_exec(other, "PRAGMA key = 'qrtdb52'; BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr);

        MessageRecorder messages;
        panel.start->click();
        clock.advanceMs(600'000);
        panel.stop->click();
        QCOMPARE(panel.duration->text(), QStringLiteral("00:10:00"));
        QVERIFY(panel.start->isEnabled());
        QVERIFY(messages.shown().isEmpty());

        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(fixture.records(1).size(), 0);
        QCOMPARE(window.database().readTotalMinutes(1), std::optional<qint64>(0));

        panel.start->click();
        clock.advanceMs(300'000);
        panel.stop->click();
        QCOMPARE(fixture.records(1).size(), 1);
        QCOMPARE(window.statistics().station(1).totalMinutes->text(), QStringLiteral("5"));
    }

    void aDifferentClientTakesOverAnOpenPeriod()
    {
        ManualClock clock(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        ScopedClock guard(clock);
        ConsoleFixture fixture;
        QCOMPARE(fixture.start(), MainWindow::StartOutcome::Running);
        StationPanel &panel = fixture.window().panel(1);
        {
            FakeStation station;
            QVERIFY(station.connectTo(fixture.port(1)));
            QTRY_VERIFY(panel.start->isEnabled());
            panel.start->click();
            QVERIFY(station.waitForText("420"));
        }
        QTRY_VERIFY(!panel.stop->isEnabled());

        FakeStation stranger;
        QVERIFY(stranger.connectTo(fixture.port(1)));
        QTRY_VERIFY(panel.stop->isEnabled());
        stranger.send(QByteArray("\x00\xff GET / HTTP/1.0\r\n\r\n", 22));
        QTRY_VERIFY(panel.runningTime->text().contains(QStringLiteral("GET")));
        QVERIFY(fixture.window().controller(1).periodRunning());
        clock.advanceMs(20'000);
        panel.stop->click();
        QVERIFY(stranger.waitForText("Stop1"));
        QCOMPARE(panel.duration->text(), QStringLiteral("00:00:20"));
        QCOMPARE(fixture.records(1).size(), 1);
    }

    // One connection is taken per port: a stranger that connects and says nothing
    // must not keep the real station out for good.
    void aSilentConnectionYieldsToTheRealStation()
    {
        TimeServiceStandIn timeService;
        ManualClock clock(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        ScopedClock guard(clock);
        ConsoleFixture fixture;
        QCOMPARE(fixture.start(), MainWindow::StartOutcome::Running);
        StationPanel &panel = fixture.window().panel(1);
        FakeStation silent;
        QVERIFY(silent.connectTo(fixture.port(1)));
        QTRY_VERIFY(panel.start->isEnabled());
        FakeStation other;
        QVERIFY(other.connectTo(fixture.port(2)));
        other.send("Startup2");
        QVERIFY(other.waitForText("Stop2"));

        clock.advanceMs(29'000);
        QTest::qWait(50);
        QCOMPARE(silent.socket().state(), QAbstractSocket::ConnectedState);
        FakeStation refused;
        refused.connectTo(fixture.port(1));
        QVERIFY(refused.waitForDisconnect());

        clock.advanceMs(1'000);
        QVERIFY(silent.waitForDisconnect());
        QTRY_VERIFY(!panel.start->isEnabled());
        std::unique_ptr<StationWindow> station = fixture.createStation(1);
        QTRY_COMPARE(panel.runningTime->text(), QStringLiteral("Startup1"));
        QVERIFY(panel.start->isEnabled());

        // A station that announced itself is kept however quiet it is, and so is
        // the other port's.
        clock.advanceMs(600'000);
        QTest::qWait(50);
        QVERIFY(panel.start->isEnabled());
        QVERIFY(station->findChild<QPushButton *>(QStringLiteral("cmdStart"))->isEnabled());
        QCOMPARE(other.socket().state(), QAbstractSocket::ConnectedState);
        QVERIFY(fixture.window().panel(2).start->isEnabled());
    }

    void garbageConfigurationEndsWithTheDatabaseMessage()
    {
        ConsoleFixture fixture;
        QByteArray garbage(64 * 1024, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) % 256);
        writeFile(fixture.iniPath(), garbage);
        QString error;
        QCOMPARE(fixture.start(&error), MainWindow::StartOutcome::Failed);
        QVERIFY(!error.isEmpty());
    }

    void tenMegabyteConfigurationIsReadQuickly()
    {
        ConsoleFixture fixture;
        QFile file(fixture.iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray settings = file.readAll();
        file.close();
        QByteArray padding;
        for (int line = 0; padding.size() < 10 * 1024 * 1024; ++line)
            padding += "; Kommentarzeile " + QByteArray::number(line) + " " + QByteArray(100, '#') + "\r\n";
        writeFile(fixture.iniPath(), padding + settings);

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(fixture.start(), MainWindow::StartOutcome::Running);
        QCOMPARE(fixture.window().windowTitle(), QStringLiteral("Internetcafé Test"));
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(ConsoleFaultsTest)
#include "tst_consolefaults.moc"

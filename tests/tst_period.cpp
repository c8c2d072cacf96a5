#include "Clock.h"
#include "ConsoleFixture.h"
#include "IniFile.h"
#include "LinkRelay.h"
#include "StationController.h"
#include "StationWindow.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

// A real console and a real station window on loopback, under one clock that the
// station's display moves on a second at a time.
class PeriodTest : public QObject
{
    Q_OBJECT

private:
    TimeServiceStandIn m_timeService;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<ScopedClock> m_clockGuard;
    std::unique_ptr<ConsoleFixture> m_console;
    std::unique_ptr<StationWindow> m_station;

    StationPanel &panel() { return m_console->window().panel(1); }
    StationController &controller() { return m_console->window().controller(1); }
    QPushButton *stationButton(const char *name) { return m_station->findChild<QPushButton *>(QString::fromLatin1(name)); }

    void startAt(const QDateTime &moment)
    {
        m_clock = std::make_unique<ManualClock>(moment);
        m_clockGuard = std::make_unique<ScopedClock>(*m_clock);
        m_clock->runFreely();
        m_console = std::make_unique<ConsoleFixture>();
        QCOMPARE(m_console->start(), MainWindow::StartOutcome::Running);
        m_station = m_console->createStation(1);
        m_station->show();
        QTRY_COMPARE(panel().runningTime->text(), QStringLiteral("Startup1"));
        QTRY_VERIFY(stationButton("cmdStart")->isEnabled());
        QCOMPARE(panel().headingColour(), StationPanel::red);
    }

    void whenClockReaches(qint64 afterMs, std::function<void()> action)
    {
        ::whenClockReaches(*m_clock, afterMs, this, std::move(action));
    }

private slots:
    void cleanup()
    {
        m_station.reset();
        m_console.reset();
        m_clockGuard.reset();
        m_clock.reset();
    }

    void timedPeriodRunsOutAndIsBilledOnce()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(14, 0, 0)));
        panel().intervals[0]->setChecked(true);
        panel().start->click();
        QTRY_VERIFY(!controller().periodRunning());
        QCOMPARE(panel().startTime->text(), QStringLiteral("14:00:00"));
        QCOMPARE(panel().stopTime->text(), QStringLiteral("14:05:00"));
        QCOMPARE(panel().duration->text(), QStringLiteral("00:05:00"));
        QCOMPARE(panel().fee->text(), QStringLiteral("0,50 €"));
        QCOMPARE(m_station->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QTRY_VERIFY(!stationButton("cmdStop")->isEnabled());
        QTest::qWait(20);
        QCOMPARE(m_console->records(1).size(), 1);
        QCOMPARE(m_console->records(1).first().at(4).toInt(), 4);
    }

    void consoleStopDuringAPeriodIsBilledOnce()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(9, 30, 0)));
        panel().intervals[3]->setChecked(true);
        whenClockReaches(12 * 60 * 1000, [this] { panel().stop->click(); });
        panel().start->click();
        QTRY_COMPARE(m_station->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QTRY_VERIFY(!stationButton("cmdStop")->isEnabled());
        QTest::qWait(20);
        QVERIFY(!controller().periodRunning());
        QCOMPARE(panel().duration->text(), QStringLiteral("00:12:00"));
        QCOMPARE(m_console->records(1).size(), 1);
    }

    void endlessPeriodEndsItselfAfter420Minutes()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(10, 0, 0)));
        panel().start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!controller().periodRunning(), 20000);
        QCOMPARE(panel().duration->text(), QStringLiteral("07:00:00"));
        QCOMPARE(panel().fee->text(), QStringLiteral("28,00 €"));
        QCOMPARE(m_console->records(1).size(), 1);
    }

    void timedPeriodAcrossMidnight()
    {
        startAt(QDateTime(QDate(2026, 12, 31), QTime(23, 58, 0)));
        panel().intervals[1]->setChecked(true);
        panel().start->click();
        QTRY_VERIFY(!controller().periodRunning());
        QCOMPARE(panel().stopTime->text(), QStringLiteral("00:08:00"));
        QCOMPARE(panel().duration->text(), QStringLiteral("00:10:00"));
        QCOMPARE(panel().fee->text(), QStringLiteral("1,00 €"));
    }

    void startAtTheStationAfterAStopLeavesNothingOpen()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(16, 0, 0)));
        stationButton("cmdStart")->click();
        QTRY_COMPARE(m_station->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QTRY_VERIFY(!controller().periodRunning());
        QTest::qWait(50);
        QVERIFY(!controller().periodRunning());
        QVERIFY(m_console->records(1).size() <= 1);
    }

    // A customer's Start at an idle station: the station sends its start and, its
    // own period being of no time, its stop right behind. Over a real network the
    // console may read the two apart: it starts a period, answers with the
    // open-ended interval and stops again at once. Its stop must not reach the
    // station run together with the interval ("420Stop1", a 420-minute
    // countdown), and the station's stop that follows is answered, so that the
    // station ends idle. Runs on real time, through a link that hands the
    // station's messages on one at a time and the console's gathered.
    void customerStartAtAnIdleStationEndsWithTheStationIdle()
    {
        ConsoleFixture console;
        QCOMPARE(console.start(), MainWindow::StartOutcome::Running);
        LinkRelay link(console.port(1), 20, 50);
        IniFile::write(QDir(console.programDir()).filePath(QStringLiteral("Client.ini")), QStringLiteral("Server"),
                       QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
        StationWindow station(1, console.programDir(), link.port());
        auto *start = station.findChild<QPushButton *>(QStringLiteral("cmdStart"));
        auto *stop = station.findChild<QPushButton *>(QStringLiteral("cmdStop"));
        QTRY_VERIFY(start->isEnabled() && station.findChild<QLineEdit *>(QStringLiteral("Text3"))->text().isEmpty());
        StationPanel &panel = console.window().panel(1);
        StationController &controller = console.window().controller(1);

        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(link.toConsole().count(QStringLiteral("Stop1")) >= 2, 5000);
        QTRY_VERIFY(!stop->isEnabled() && start->isEnabled());
        QVERIFY(!controller.periodRunning());
        QCOMPARE(link.toStation().filter(QStringLiteral("420")), QStringList{QStringLiteral("420")});

        // Nothing runs on: no time text comes any more, and the station stays idle.
        const qsizetype sent = link.toConsole().size();
        QTest::qWait(1000);
        QCOMPARE(link.toConsole().size(), sent);
        QVERIFY(!stop->isEnabled());
        QCOMPARE(station.windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QVERIFY(console.records(1).size() <= 1);
        QCOMPARE(panel.headingColour(), StationPanel::red);
    }

    void reconnectedStationLetsTheOpenPeriodBeBilled()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(18, 0, 0)));
        // The console keeps a period open while its station is gone.
        panel().withoutStation->click();
        m_station.reset();
        QTRY_VERIFY(!panel().stop->isEnabled());
        panel().withoutStation->click();
        panel().start->click();
        m_clock->advanceMs(45 * 60 * 1000);
        m_station = m_console->createStation(1);
        QTRY_COMPARE(panel().runningTime->text(), QStringLiteral("Startup1"));
        QVERIFY(controller().periodRunning());
        panel().stop->click();
        QCOMPARE(panel().duration->text(), QStringLiteral("00:45:00"));
        QCOMPARE(panel().fee->text(), QStringLiteral("3,60 €"));
        QCOMPARE(m_console->records(1).size(), 1);
    }
};

QTEST_MAIN(PeriodTest)
#include "tst_period.moc"

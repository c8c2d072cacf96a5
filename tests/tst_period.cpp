#include "ConsoleFixture.h"
#include "LinkedStationRig.h"
#include "LinkRelay.h"
#include "ManualClock.h"
#include "ScopedClock.h"
#include "StationPanel.h"
#include "StationSession.h"
#include "StationSessionRig.h"
#include "StationWindow.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

// Periods from start to bill: on a console without its window with a real station
// window on loopback, under one clock that the station's display moves on a second
// at a time, and on a session alone where no station is needed.
class PeriodTest : public QObject
{
    Q_OBJECT

private:
    TimeServiceStandIn m_timeService;
    std::unique_ptr<LinkedStationRig> m_rig;
    std::unique_ptr<StationSessionRig> m_alone;

    StationSession &session(int station = 1) { return m_rig->session(station); }
    SessionProbe &shown() { return m_rig->shown(1); }
    StationWindow &station(int number = 1) { return m_rig->station(number); }
    QPushButton *stationButton(const char *name, int number = 1)
    {
        return m_rig->stationButton(number, name);
    }
    QList<QVariantList> records(int station = 1) { return m_rig->console().records(station); }
    QString field(int number, const char *name)
    {
        QWidget *widget = station(number).findChild<QWidget *>(QString::fromLatin1(name));
        if (auto *box = qobject_cast<QLineEdit *>(widget))
            return box->text();
        return qobject_cast<QLabel *>(widget)->text();
    }
    static QString idleTitle(int number = 1)
    {
        return QStringLiteral("Client%1 - bitte freischalten.").arg(number);
    }

    void startAt(const QDateTime &moment)
    {
        m_rig = std::make_unique<LinkedStationRig>(moment);
        QVERIFY(m_rig->start({1}));
        station().show();
        QTRY_COMPARE(shown().runningTime, QStringLiteral("Startup1"));
        QCOMPARE(shown().heading, StationSession::Heading::Idle);
    }
    // The station has ended its period, and its last answer is in.
    void waitUntilIdle(int number = 1)
    {
        QTRY_COMPARE(station(number).windowTitle(), idleTitle(number));
        QTRY_VERIFY(!stationButton("cmdStop", number)->isEnabled());
        settle();
    }

    void whenClockReaches(qint64 afterMs, std::function<void()> action)
    {
        ::whenClockReaches(m_rig->clock(), afterMs, this, std::move(action));
    }

    // A session alone, as a panel used without a station runs it.
    StationSession &sessionAt(const QDateTime &moment)
    {
        m_alone = std::make_unique<StationSessionRig>(moment);
        [this] { QCOMPARE(m_alone->error(), QString()); }();
        return m_alone->session();
    }

    // A console without its window and a station window linked to it through a
    // relay that hands the station's messages on one at a time and the console's
    // gathered, all on one clock that runs freely.
    struct Relayed
    {
        ConsoleAppRig console{QDateTime(QDate(2026, 4, 2), QTime(15, 0, 0))};
        std::unique_ptr<LinkRelay> link;
        std::unique_ptr<StationWindow> station;
    };
    static void relay(Relayed &relayed)
    {
        relayed.console.clock().runFreely();
        QVERIFY(relayed.console.start());
        relayed.link = std::make_unique<LinkRelay>(relayed.console.files().port(1), 20, 50);
        relayed.station = relayed.console.files().createStation(1, relayed.link->port());
    }

private slots:
    void cleanup()
    {
        m_rig.reset();
        m_alone.reset();
    }

    void timedPeriodRunsOutAndIsBilledOnce()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(14, 0, 0)));
        session().start(5);
        QTRY_VERIFY(!session().periodRunning());
        QCOMPARE(session().startText(), QStringLiteral("14:00:00"));
        QCOMPARE(session().stopText(), QStringLiteral("14:05:00"));
        QCOMPARE(session().durationText(), QStringLiteral("00:05:00"));
        QCOMPARE(session().feeText(), QStringLiteral("0,50 €"));
        waitUntilIdle();
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().first().at(4).toInt(), 4);
    }

    // Verlängern on a running period: the fee counts the price meanwhile, the
    // station counts on to the new end, its answer to the extension's stop bills
    // nothing, and its stop at the new end bills the one period on its whole length.
    void anExtendedPeriodRunsToItsNewEndAtTheStation()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(14, 0, 0)));
        whenClockReaches(2 * 60 * 1000, [this] {
            QCOMPARE(shown().fee, QStringLiteral("0,20 €"));
            QVERIFY(shown().extendEnabled);
            session().extend(5);
        });
        session().start(5);
        QTRY_VERIFY_WITH_TIMEOUT(!session().periodRunning(), 20000);
        QVERIFY(session().durationText().startsWith(u"00:10:0"));
        QCOMPARE(session().feeText(), QStringLiteral("1,00 €"));
        QCOMPARE(records().size(), 1);
        QVERIFY(!shown().extendEnabled);
    }

    // Two real stations: an extension moves station 1's end time and its countdown
    // goes on; Platz wechseln leaves station 1 idle and station 2 counting to the
    // same end, which shows the running fee where Preis2=1 asks for it; the one
    // record is station 2's, naming station 1.
    void anExtendedPeriodMovesToAnotherStation()
    {
        m_rig = std::make_unique<LinkedStationRig>(QDateTime(QDate(2026, 4, 2), QTime(14, 0, 0)));
        m_rig->console().files().writeIni(QStringLiteral("Stationen"), QStringLiteral("Preis2"),
                                          QStringLiteral("1"));
        QVERIFY(m_rig->start({1, 2}));
        session(1).start(5);
        QTRY_COMPARE(field(1, "Text2"), QStringLiteral("14:05:00"));
        whenClockReaches(60 * 1000, [this] { session(1).extend(10); });
        // The minutes left, rounded up, from the moment the station hears them.
        QTRY_VERIFY_WITH_TIMEOUT(field(1, "Text2").startsWith(u"14:15:0"), 10000);
        QTRY_VERIFY2(station(1).windowTitle().startsWith(u"Client1 Online - "),
                     qPrintable(station(1).windowTitle()));
        QVERIFY(session(1).periodRunning());

        QVERIFY(session(1).periodMovable());
        ConsoleApp &app = m_rig->console().app();
        QCOMPARE(app.moveTargets(session(1)), QList<int>{2});
        QVERIFY(!app.movePeriod(session(1), 2));
        QVERIFY(!session(1).periodRunning());
        QVERIFY(session(2).periodRunning());
        QCOMPARE(session(2).startText(), QStringLiteral("14:00:00"));
        waitUntilIdle(1);
        QTRY_VERIFY(field(2, "Text2").startsWith(u"14:15:") || field(2, "Text2") == u"14:16:00");
        QTRY_VERIFY(station(2).windowTitle().startsWith(u"Client2 Online - "));
        // The test clock runs by itself, so the fee so far may have passed a euro.
        QTRY_VERIFY(field(2, "lblPreis").startsWith(u"Bisher "));
        QVERIFY(field(2, "lblPreis").endsWith(u" €"));
        QVERIFY(station(1).findChild<QLabel *>(QStringLiteral("lblPreis"))->isHidden());
        QVERIFY(!session(1).periodRunning());

        session(2).stop();
        waitUntilIdle(2);
        QVERIFY(records(1).isEmpty());
        QCOMPARE(records(2).size(), 1);
        QCOMPARE(records(2).first().at(0).toString(), QStringLiteral("14:00:00"));
        QCOMPARE(records(2).first().at(9).toInt(), 1);
    }

    void consoleStopDuringAPeriodIsBilledOnce()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(9, 30, 0)));
        whenClockReaches(12 * 60 * 1000, [this] { session().stop(); });
        session().start(30);
        waitUntilIdle();
        QVERIFY(!session().periodRunning());
        QCOMPARE(session().durationText(), QStringLiteral("00:12:00"));
        QCOMPARE(records().size(), 1);
    }

    void endlessPeriodEndsItselfAfter420Minutes()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(10, 0, 0)));
        session().start(0);
        // 25,200 time texts cross the link: a busy machine needs half a minute.
        QTRY_VERIFY_WITH_TIMEOUT(!session().periodRunning(), 60000);
        QCOMPARE(session().durationText(), QStringLiteral("07:00:00"));
        QCOMPARE(session().feeText(), QStringLiteral("28,00 €"));
        QCOMPARE(records().size(), 1);
    }

    void timedPeriodAcrossMidnight()
    {
        startAt(QDateTime(QDate(2026, 12, 31), QTime(23, 58, 0)));
        session().start(10);
        QTRY_VERIFY(!session().periodRunning());
        QCOMPARE(session().stopText(), QStringLiteral("00:08:00"));
        QCOMPARE(session().durationText(), QStringLiteral("00:10:00"));
        QCOMPARE(session().feeText(), QStringLiteral("1,00 €"));
    }

    void startAtTheStationAfterAStopLeavesNothingOpen()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(16, 0, 0)));
        stationButton("cmdStart")->click();
        QTRY_COMPARE(station().windowTitle(), idleTitle());
        QTRY_VERIFY(!session().periodRunning());
        settle();
        QVERIFY(!session().periodRunning());
        QVERIFY(records().size() <= 1);
    }

    // A customer's Start at an idle station: the station sends its start and, its
    // own period being of no time, its stop right behind. Over a real network the
    // console may read the two apart: it starts a period, answers with the
    // open-ended interval and stops again at once. Its stop must not reach the
    // station run together with the interval ("420Stop1", a 420-minute
    // countdown), and the station's stop that follows is answered, so that the
    // station ends idle.
    void customerStartAtAnIdleStationEndsWithTheStationIdle()
    {
        Relayed relayed;
        relay(relayed);
        LinkRelay &link = *relayed.link;
        auto *start = relayed.station->findChild<QPushButton *>(QStringLiteral("cmdStart"));
        auto *stop = relayed.station->findChild<QPushButton *>(QStringLiteral("cmdStop"));
        QTRY_VERIFY(start->isEnabled());
        StationSession &session = relayed.console.session(1);

        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(link.toConsole().count(QStringLiteral("Stop1")) >= 2, 5000);
        QTRY_VERIFY(!stop->isEnabled() && start->isEnabled());
        QVERIFY(!session.periodRunning());
        QCOMPARE(link.toStation().filter(QStringLiteral("420")),
                 QStringList{QStringLiteral("420")});

        // Nothing runs on: no time text comes any more, and the station stays idle.
        const qsizetype sent = link.toConsole().size();
        settle();
        QCOMPARE(link.toConsole().size(), sent);
        QVERIFY(!stop->isEnabled());
        QCOMPARE(relayed.station->windowTitle(), idleTitle());
        QVERIFY(relayed.console.records(1).size() <= 1);
        QCOMPARE(relayed.console.shown(1).heading, StationSession::Heading::Idle);
    }

    // A hundred starts and stops from the station, 20 ms apart: every answer
    // reaches the station whole, though the link hands on what arrives within
    // 50 ms as one piece, and both ends finish idle.
    void burstOfStartsAndStopsEndsWithBothIdle()
    {
        Relayed relayed;
        relay(relayed);
        LinkRelay &link = *relayed.link;
        auto *stop = relayed.station->findChild<QPushButton *>(QStringLiteral("cmdStop"));
        StationSession &session = relayed.console.session(1);

        QStringList burst;
        for (int i = 0; i < 100; ++i)
            burst << QStringLiteral("Start1") << QStringLiteral("Stop1");
        QElapsedTimer answering;
        answering.start();
        link.sendToConsole(burst);
        const auto settled = [&] {
            return link.toConsole().size() > burst.size() && !session.periodRunning()
                && !stop->isEnabled() && link.toStation().last() == QStringLiteral("Stop1");
        };
        // On a busy machine this takes half a minute.
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 60000);
        qInfo("burst of %lld messages handed on and answered in %lld ms", qint64(burst.size()),
              answering.elapsed());
        // The station's stop behind its last pass is answered once more; then all is quiet.
        for (qsizetype pieces = 0; pieces != link.toStation().size();) {
            pieces = link.toStation().size();
            settle();
        }
        QVERIFY(settled());
        for (const QString &piece : link.toStation())
            QVERIFY2(piece == QStringLiteral("420") || piece == QStringLiteral("Stop1"),
                     qPrintable(piece));
    }

    void reconnectedStationResumesTheOpenPeriod()
    {
        startAt(QDateTime(QDate(2026, 4, 2), QTime(18, 0, 0)));
        // The console keeps a period open while its station is gone.
        session().enableWithoutStation();
        m_rig->closeStation(1);
        QTRY_VERIFY(!shown().stopEnabled);
        session().enableWithoutStation();
        session().start(0);
        m_rig->clock().advanceMs(44 * 60 * 1000);
        // The console goes on with its period, and the station, back, runs it again.
        whenClockReaches(60 * 1000, [this] {
            QCOMPARE(shown().heading, StationSession::Heading::Running);
            QVERIFY(!shown().startEnabled);
            QCOMPARE(station().windowTitle(), QStringLiteral("Client1 - Endlos"));
            session().stop();
        });
        m_rig->reopenStation(1);
        QTRY_VERIFY(!session().periodRunning());
        QCOMPARE(session().durationText(), QStringLiteral("00:45:00"));
        QCOMPARE(session().feeText(), QStringLiteral("3,60 €"));
        QCOMPARE(records().size(), 1);
    }

    // The wall clock may be stepped by the time synchronisation, by hand or by a
    // daylight-saving change; the bill follows the time that passed.
    void lengthIsTheTimeThatPassed_data()
    {
        QTest::addColumn<qint64>("stepMs");
        QTest::addColumn<qint64>("passedMs");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("fee");
        QTest::newRow("clock set back") << qint64(-120'000) << qint64(2'000) << "13:58:02"
                                        << "00:00:02"
                                        << "0,00 €";
        QTest::newRow("clock set forward") << qint64(3'600'000) << qint64(600'000) << "15:10:00"
                                           << "00:10:00"
                                           << "1,00 €";
        QTest::newRow("25 hours") << qint64(0) << qint64(90'000'000) << "15:00:00"
                                  << "25:00:00"
                                  << "100,00 €";
    }
    void lengthIsTheTimeThatPassed()
    {
        QFETCH(qint64, stepMs);
        QFETCH(qint64, passedMs);
        StationSession &session = sessionAt(QDateTime(QDate(2026, 4, 2), QTime(14, 0, 0)));
        ManualClock &clock = m_alone->clock();
        session.start(0);
        clock.advanceMs(passedMs / 2);
        clock.setNow(clock.now().addMSecs(stepMs));
        clock.advanceMs(passedMs - passedMs / 2);
        session.stop();
        QTEST(session.stopText(), "stop");
        QTEST(session.durationText(), "duration");
        QTEST(session.feeText(), "fee");
        const QList<QVariantList> rows = m_alone->records();
        QCOMPARE(rows.size(), 1);
        QTEST(rows[0][2].toString(), "duration");
    }

    // Measured time is cut to whole seconds; while the wall clock is not stepped
    // the record's end minus its start decides, so that its texts and bill agree.
    void lengthIsTheRecordsEndMinusItsStart()
    {
        StationSession &session = sessionAt(QDateTime(QDate(2026, 4, 2), QTime(23, 25, 33, 600)));
        session.start(0);
        m_alone->clock().advanceMs(1'799'400);
        session.stop();
        QCOMPARE(m_alone->records().value(0).mid(0, 3),
                 QVariantList({"23:25:33", "23:55:33", "00:30:00"}));
    }

    void daylightSavingChangeDoesNotAddAnHour()
    {
        const QTimeZone berlin("Europe/Berlin");
        if (!berlin.isValid())
            QSKIP("no time zone data");
        // 02:59:44 summer time; 16 seconds later the clocks read 02:00:00 winter time.
        const QDateTime start(QDate(2026, 10, 25), QTime(0, 59, 44), QTimeZone::utc());
        StationSession &session = sessionAt(start.toTimeZone(berlin));
        session.start(0);
        QCOMPARE(session.startText(), QStringLiteral("02:59:44"));
        m_alone->clock().advanceMs(16'000);
        session.stop();
        QCOMPARE(session.stopText(), QStringLiteral("02:00:00"));
        QCOMPARE(session.durationText(), QStringLiteral("00:00:16"));
        QCOMPARE(session.feeText(), QStringLiteral("0,03 €"));
    }

    void startBoxEdits_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<bool>("told");
        QTest::newRow("correction") << "14:05"
                                    << "14:05:00"
                                    << "00:12:30" << false;
        QTest::newRow("correction with seconds") << "14:10:09"
                                                 << "14:10:09"
                                                 << "00:07:21" << false;
        QTest::newRow("garbage") << "x4:0"
                                 << "14:07:30"
                                 << "00:10:00" << true;
        QTest::newRow("emptied") << ""
                                 << "14:07:30"
                                 << "00:10:00" << true;
    }
    void startBoxEdits()
    {
        QFETCH(QString, edited);
        StationSession &session = sessionAt(QDateTime(QDate(2026, 4, 2), QTime(14, 7, 30)));
        QSignalSpy problems(&session, &StationSession::problem);
        session.start(0);
        QCOMPARE(session.startText(), QStringLiteral("14:07:30"));
        session.correctStartText(edited);
        m_alone->clock().advanceMs(600'000);
        session.stop();
        QTEST(session.startText(), "start");
        QTEST(session.durationText(), "duration");
        const QList<QVariantList> rows = m_alone->records();
        QCOMPARE(rows.size(), 1);
        QTEST(rows[0][0].toString(), "start");
        QFETCH(bool, told);
        QCOMPARE(problems.size(), told ? 1 : 0);
        if (told) {
            const QString text = problems.first().first().toString();
            QVERIFY(text.contains(QStringLiteral("Station 1")));
            QVERIFY(text.contains(QStringLiteral("14:07:30")));
        }
    }

    // At the window, a start takes the focus away from the start box, so that a
    // stray key does not reach it; what is typed there reaches the bill, and a
    // start box that held no time is told in a message box.
    void startBoxAtTheWindow()
    {
        ManualClock clock(QDateTime(QDate(2026, 4, 2), QTime(14, 7, 30)));
        ScopedClock clockGuard(clock);
        ConsoleFixture console;
        QVERIFY(console.start());
        MessageRecorder messages;
        StationPanel &panel = console.window().panel(1);
        panel.withoutStation->click();
        panel.start->click();
        QCOMPARE(console.window().focusWidget(), panel.stop);
        QTest::keyClicks(console.window().focusWidget(), QStringLiteral("a7"));
        QCOMPARE(panel.startTime->text(), QStringLiteral("14:07:30"));
        panel.startTime->selectAll();
        QTest::keyClicks(panel.startTime, QStringLiteral("x4:0"));
        clock.advanceMs(600'000);
        panel.stop->click();
        QCOMPARE(panel.startTime->text(), QStringLiteral("14:07:30"));
        clock.settle();
        QCOMPARE(messages.texts().size(), 1);
        QVERIFY(messages.texts().first().contains(QStringLiteral("Station 1")));
        QVERIFY(messages.texts().first().contains(QStringLiteral("x4:0")));
        QVERIFY(messages.texts().first().contains(QStringLiteral("14:07:30")));
    }
};

QTEST_MAIN(PeriodTest)
#include "tst_period.moc"

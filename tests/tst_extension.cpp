#include "FakeStation.h"
#include "ManualClock.h"
#include "PeriodMove.h"
#include "Protocol.h"
#include "RecoveredPeriods.h"
#include "StationSessionRig.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QDateTime afternoon(QDate(2026, 4, 2), QTime(14, 0, 0));
const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

// The session listens on `port` and the station announces itself there; true once
// the console has answered.
bool linkStation(StationSessionRig &rig, quint16 port, FakeStation &station)
{
    rig.session().listen();
    if (!station.connectTo(port))
        return false;
    station.send("Startup1");
    return station.waitForText("Stop1");
}

QString lastText(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.last().at(0).toString();
}

// The station's records, each field by its column's name.
QList<QVariantMap> recordsOf(UsageDatabase &database, int station)
{
    QList<QVariantMap> records;
    const std::optional<XlsSheetData> table = database.statistics().exportStation(station);
    for (const QVariantList &row : table ? table->rows : QList<QVariantList>()) {
        QVariantMap record;
        for (qsizetype column = 0; column < row.size(); ++column)
            record.insert(table->fieldNames[column].mid(QStringLiteral("client1").size()),
                          row[column]);
        records.append(record);
    }
    return records;
}

StationSession::Heading lastHeading(const QSignalSpy &spy)
{
    return spy.last().at(0).value<StationSession::Heading>();
}
}

// A period as the customer lives it: its price while it runs, and more time given
// to it that keeps it one period.
class ExtensionTest : public QObject
{
    Q_OBJECT

private slots:
    // The price so far follows the running time a second at a time; 30 minutes and
    // 30 more are one hour at the hour's tariff, on one record, and the new end is
    // on disk and watched.
    void anExtendedPeriodIsBilledAsOne()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        QSignalSpy runningFee(&session, &StationSession::runningFeeChanged);
        QSignalSpy extendEnabled(&session, &StationSession::extendEnabledChanged);
        session.enableWithoutStation();
        session.start(30);
        QCOMPARE(lastText(runningFee), QStringLiteral("0,00 €"));
        QCOMPARE(extendEnabled.last().at(0).toBool(), true);
        clock.advanceMs(600'000);
        clock.settle();
        QCOMPARE(lastText(runningFee), QStringLiteral("1,00 €"));
        clock.advanceMs(1'000);
        clock.settle();
        QCOMPARE(lastText(runningFee), QStringLiteral("1,00 €")); // 10:01 is 1,0017 €
        QCOMPARE(session.feeText(), QString());

        clock.advanceMs(1'139'000); // 29:00
        session.extend(30);
        QCOMPARE(rig.database().periods().openPeriods().value(0).intervalMinutes, 60);
        clock.advanceMs(30 * 60'000 + 30'000); // 59:30, half a minute past the first end
        clock.settle();
        clock.advanceMs(29'000); // 59:59: the half-hour tariff's 4,80 €
        clock.settle();
        QCOMPARE(lastText(runningFee), QStringLiteral("4,80 €"));
        clock.advanceMs(1'000);
        session.stop();
        QCOMPARE(session.durationText(), QStringLiteral("01:00:00"));
        QCOMPARE(session.feeText(), QStringLiteral("4,00 €"));
        QCOMPARE(rig.records().size(), 1);
        QCOMPARE(extendEnabled.last().at(0).toBool(), false);
        runningFee.clear();
        clock.advanceMs(5'000);
        clock.settle();
        QVERIFY(runningFee.isEmpty());
    }

    // The watch takes the new end: no overdue alarm at the old end, one 30 s after
    // the new; "offen" takes the end away, and an open period takes no minutes.
    void theWatchFollowsTheNewEnd()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        QSignalSpy heading(&session, &StationSession::headingChanged);
        session.enableWithoutStation();
        session.start(5);
        session.extend(5);
        clock.advanceMs(5 * 60'000 + 31'000);
        clock.settle();
        QCOMPARE(heading.last().at(0).value<StationSession::Heading>(),
                 StationSession::Heading::Running);
        clock.advanceMs(5 * 60'000);
        clock.settle();
        QCOMPARE(heading.last().at(0).value<StationSession::Heading>(),
                 StationSession::Heading::Alarm);
        session.extend(0);
        clock.settle();
        QCOMPARE(heading.last().at(0).value<StationSession::Heading>(),
                 StationSession::Heading::Running);
        QVERIFY(!session.periodTimed());
        session.extend(15);
        QCOMPARE(rig.database().periods().openPeriods().value(0).intervalMinutes, 0);
        session.stop();
        QCOMPARE(rig.records().size(), 1);
    }

    // The station hears the extension as a returning station hears its period: a
    // stop, then the minutes left. Its stop in answer bills nothing; a stop of its
    // own later ends the period as ever.
    void theStationFollowsAndItsAnswerDoesNotBill()
    {
        const quint16 port = freeLoopbackPort();
        StationSessionRig rig(afternoon, port);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        FakeStation station;
        QVERIFY(linkStation(rig, port, station));
        clock.advanceMs(1'000);
        session.start(30);
        QVERIFY(station.waitForText("30"));
        station.takeReceived();

        clock.advanceMs(10 * 60'000);
        session.extend(15);
        QVERIFY(station.waitForText("Stop1"));
        clock.advanceMs(200);
        QVERIFY(station.waitForText("Stop135"));
        QCOMPARE(station.takeReceived(), QByteArray("Stop135"));
        QSignalSpy runningTime(&session, &StationSession::runningTimeChanged);
        station.send("00:35:00Stop1");
        // The time and the stop come in one chunk, shown as it came: both are taken.
        QTRY_COMPARE(lastText(runningTime), QStringLiteral("00:35:00Stop1"));
        clock.settle();
        QVERIFY(session.periodRunning());
        QCOMPARE(rig.records().size(), 0);

        clock.advanceMs(5'000);
        station.send("Stop1");
        QTRY_VERIFY(!session.periodRunning());
        QCOMPARE(rig.records().size(), 1);
        QCOMPARE(session.durationText(), QStringLiteral("00:10:05"));
    }

    // Killed after the new end is on disk: the next run finds exactly the one
    // period, resumes it with its new end and bills it once, on its whole length.
    void aRestartResumesTheNewEnd()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        rig.session().enableWithoutStation();
        rig.session().start(30);
        rig.clock().advanceMs(20 * 60'000);
        rig.session().extend(30);

        QTemporaryDir sideDir;
        UsageLedger ledger(rig.database(), sideDir.filePath(QStringLiteral("nachtrag")),
                           demoTariffs);
        QCOMPARE(ledger.recover().text(), QString());
        const std::optional<OpenPeriod> open = ledger.openPeriod(1);
        QVERIFY(open);
        QCOMPARE(open->intervalMinutes, 60);
        QCOMPARE(rig.database().periods().openPeriods().size(), 1);
        StationSession resumed(1, 0, ledger, demoTariffs);
        resumed.resumePeriod(*open);
        QVERIFY(resumed.periodTimed());
        rig.clock().advanceMs(40 * 60'000);
        resumed.stop();
        QCOMPARE(resumed.feeText(), QStringLiteral("4,00 €"));
        QCOMPARE(rig.records().size(), 1);
        QVERIFY(rig.database().periods().openPeriods().isEmpty());
    }

    // Platz wechseln: the period leaves station 1 without a record, runs on at
    // station 2 from its original start and is one record there, naming station 1.
    // A station with a period of its own takes none.
    void aMovedPeriodIsOneRecordOnTheNewStation()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        StationSession &first = rig.session();
        StationSession second(2, 0, rig.ledger(), demoTariffs);
        QSignalSpy firstFee(&first, &StationSession::feeTextChanged);
        QSignalSpy secondStart(&second, &StationSession::startTextChanged);
        first.enableWithoutStation();
        first.start(30);
        rig.clock().advanceMs(10 * 60'000);
        QVERIFY(PeriodMove(first, second, rig.ledger()).run()); // station 2 is off
        second.enableWithoutStation();
        second.start(0);
        QVERIFY(PeriodMove(first, second, rig.ledger()).run()); // and now busy
        second.stop();

        QCOMPARE(PeriodMove(first, second, rig.ledger()).run().text(), QString());
        QVERIFY(!first.periodRunning());
        QCOMPARE(lastText(firstFee), QString());
        QVERIFY(second.periodRunning() && second.periodTimed());
        QCOMPARE(lastText(secondStart), QStringLiteral("14:00:00"));
        const QList<OpenPeriod> open = rig.database().periods().openPeriods();
        QCOMPARE(open.size(), 1);
        QCOMPARE(open[0].station, 2);
        QCOMPARE(open[0].originStation, 1);
        QCOMPARE(open[0].startText, QStringLiteral("14:00:00"));

        rig.clock().advanceMs(20 * 60'000);
        second.stop();
        QCOMPARE(second.durationText(), QStringLiteral("00:30:00"));
        QCOMPARE(second.feeText(), QStringLiteral("2,40 €"));
        QVERIFY(recordsOf(rig.database(), 1).isEmpty());
        const QList<QVariantMap> records = recordsOf(rig.database(), 2);
        QCOMPARE(records.size(), 2); // the short period of its own, then the moved one
        QCOMPARE(records[1].value(QStringLiteral("start")).toString(), QStringLiteral("14:00:00"));
        QCOMPARE(records[1].value(QStringLiteral("herkunft")).toInt(), 1);
        QVERIFY(records[0].value(QStringLiteral("herkunft")).isNull());
        QVERIFY(records[1].value(QStringLiteral("pause")).isNull());
    }

    // A pause of 10 minutes: the station idle meanwhile (no alarm), the end moved
    // by the pause, the fee for the 30 minutes used, the pause in a field of its own.
    // Killed while paused, the next run finds the period paused still.
    void aPauseIsNotBilled()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        QSignalSpy heading(&session, &StationSession::headingChanged);
        QSignalSpy runningFee(&session, &StationSession::runningFeeChanged);
        session.enableWithoutStation();
        session.start(30);
        clock.advanceMs(10 * 60'000);
        clock.settle();
        session.pause();
        QVERIFY(session.periodPaused() && !session.periodTimed());
        QCOMPARE(lastHeading(heading), StationSession::Heading::Idle);
        QVERIFY(rig.database().periods().openPeriods().value(0).paused());
        clock.advanceMs(6 * 60'000);
        clock.settle();

        QCOMPARE(lastText(runningFee), QStringLiteral("1,00 €"));
        QTemporaryDir sideDir;
        UsageLedger ledger(rig.database(), sideDir.filePath(QStringLiteral("nachtrag")),
                           demoTariffs);
        QCOMPARE(ledger.recover().text(), QString());
        StationSession restarted(1, 0, ledger, demoTariffs);
        restarted.resumePeriod(*ledger.openPeriod(1));
        QVERIFY(restarted.periodPaused());
        clock.advanceMs(4 * 60'000);
        clock.settle();
        QSignalSpy restartedHeading(&restarted, &StationSession::headingChanged);
        restarted.resume();
        QCOMPARE(rig.database().periods().openPeriods().value(0).pausedSeconds, 600);
        clock.advanceMs(20 * 60'000 + 29'000); // 29 s past the end the pause moved
        clock.settle();
        QCOMPARE(lastHeading(restartedHeading), StationSession::Heading::Running);
        clock.advanceMs(1'000);
        restarted.stop();
        QCOMPARE(restarted.durationText(), QStringLiteral("00:30:30"));
        QCOMPARE(restarted.feeText(), QStringLiteral("2,44 €"));
        const QList<QVariantMap> records = recordsOf(rig.database(), 1);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].value(QStringLiteral("pause")).toInt(), 600);
        QCOMPARE(records[0].value(QStringLiteral("ende")).toString(), QStringLiteral("14:40:30"));
        QVERIFY(rig.database().periods().openPeriods().isEmpty());
    }

    // A paused period of a station no longer served, billed at start: its pauses,
    // the one still going on included, are not billed.
    void anUnservedPausedPeriodIsBilledForItsUse()
    {
        OpenPeriod period{
            QStringLiteral("p"),       9, afternoon, QStringLiteral("14:00:00"), 0, 0, 300,
            afternoon.addSecs(20 * 60)};
        const StoppedPeriod stopped
            = RecoveredPeriods::stoppedAt(period, demoTariffs, afternoon.addSecs(30 * 60));
        QCOMPARE(stopped.durationSeconds, 900);
        QCOMPARE(stopped.period.pausedSeconds, 900);
        QVERIFY(!stopped.period.paused());
    }

    // The station hears the pause as a stop, and Weiter as what is left after a
    // stop; its answer to the pause's stop, and its stops while paused, bill nothing.
    void aPausedStationIsIdle()
    {
        const quint16 port = freeLoopbackPort();
        StationSessionRig rig(afternoon, port);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        FakeStation station;
        QVERIFY(linkStation(rig, port, station));
        rig.clock().advanceMs(1'000);
        session.start(15);
        QVERIFY(station.waitForText("15"));
        station.takeReceived();
        rig.clock().advanceMs(5 * 60'000);
        session.pause();
        QVERIFY(station.waitForText("Stop1"));
        station.takeReceived();
        station.send("00:10:00Stop1");
        rig.clock().settle();
        station.send("Stop1");
        rig.clock().settle();
        rig.clock().advanceMs(200);
        QVERIFY(station.waitForText("Stop1"));
        QVERIFY(session.periodPaused());
        rig.clock().advanceMs(30 * 60'000);
        session.resume();
        rig.clock().advanceMs(200);
        QVERIFY(station.waitForText("Stop110"));
        QCOMPARE(rig.records().size(), 0);
    }

    // Where Preis1=1 is set, the station is given the fee as it changes, apart from
    // every other message; without it, nothing but today's messages reach it.
    void thePriceReachesOnlyAStationThatAsksForIt()
    {
        for (const bool sendsPrice : {true, false}) {
            const quint16 port = freeLoopbackPort();
            StationSessionRig rig(afternoon, port);
            QCOMPARE(rig.error(), QString());
            StationSession &session = rig.session();
            session.setSendsPrice(sendsPrice);
            FakeStation station;
            QVERIFY(linkStation(rig, port, station));
            rig.clock().advanceMs(1'000);
            session.start(0);
            QVERIFY(station.waitForText("420"));
            rig.clock().advanceMs(200);
            rig.clock().settle();
            for (int second = 0; second < 12; ++second) {
                rig.clock().advanceMs(1'000);
                rig.clock().settle();
            }
            session.stop();
            rig.clock().advanceMs(200);
            rig.clock().settle();
            QVERIFY(station.waitForText(sendsPrice ? "\x80Stop1" : "420Stop1"));
            const QByteArray received = station.takeReceived();
            if (sendsPrice) {
                QVERIFY2(received.startsWith("Stop1420Preis1 0,00 \x80Preis1 0,01 \x80"),
                         received.constData());
                QVERIFY2(received.endsWith("Preis1 0,02 \x80Stop1"), received.constData());
                QCOMPARE(Protocol::priceText(QStringLiteral("Preis1 0,02 €"), 1),
                         QStringLiteral("0,02 €"));
                QVERIFY(Protocol::priceText(QStringLiteral("Preis2 0,02 €"), 1).isEmpty());
            } else {
                QCOMPARE(received, QByteArray("Stop1420Stop1"));
            }
        }
    }
};

QTEST_MAIN(ExtensionTest)
#include "tst_extension.moc"

#include "FakeStation.h"
#include "ManualClock.h"
#include "StationSessionRig.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QDateTime afternoon(QDate(2026, 4, 2), QTime(14, 0, 0));
const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

// Alarms of the test clock come from the event loop; this lets those due go off.
void deliverDueAlarms()
{
    QTest::qWait(20);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

QString lastText(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.last().at(0).toString();
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
        deliverDueAlarms();
        QCOMPARE(lastText(runningFee), QStringLiteral("1,00 €"));
        clock.advanceMs(1'000);
        deliverDueAlarms();
        QCOMPARE(lastText(runningFee), QStringLiteral("1,00 €")); // 10:01 is 1,0017 €
        QCOMPARE(session.feeText(), QString());

        clock.advanceMs(1'139'000); // 29:00
        session.extend(30);
        QCOMPARE(rig.database().periods().openPeriods().value(0).intervalMinutes, 60);
        clock.advanceMs(30 * 60'000 + 30'000); // 59:30, half a minute past the first end
        deliverDueAlarms();
        clock.advanceMs(29'000); // 59:59: the half-hour tariff's 4,80 €
        deliverDueAlarms();
        QCOMPARE(lastText(runningFee), QStringLiteral("4,80 €"));
        clock.advanceMs(1'000);
        session.stop();
        QCOMPARE(session.durationText(), QStringLiteral("01:00:00"));
        QCOMPARE(session.feeText(), QStringLiteral("4,00 €"));
        QCOMPARE(rig.records().size(), 1);
        QCOMPARE(extendEnabled.last().at(0).toBool(), false);
        runningFee.clear();
        clock.advanceMs(5'000);
        deliverDueAlarms();
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
        deliverDueAlarms();
        QCOMPARE(heading.last().at(0).value<StationSession::Heading>(),
                 StationSession::Heading::Running);
        clock.advanceMs(5 * 60'000);
        deliverDueAlarms();
        QCOMPARE(heading.last().at(0).value<StationSession::Heading>(),
                 StationSession::Heading::Alarm);
        session.extend(0);
        deliverDueAlarms();
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
        const quint16 port = freePort();
        StationSessionRig rig(afternoon, port);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        session.listen();
        FakeStation station;
        QVERIFY(station.connectTo(port));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
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
        station.send("00:35:00Stop1");
        QTest::qWait(100);
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
};

QTEST_MAIN(ExtensionTest)
#include "tst_extension.moc"

#include "Billing.h"
#include "ConsoleConfig.h"
#include "IniFile.h"
#include "LinkedStationRig.h"
#include "StationSession.h"
#include "StationWindow.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <numeric>

namespace {
// KAVO_SOAK_PERIODS sets how many periods a run goes through; the test command
// runs a short soak, scripts/soak.sh a long one.
int periodsToRun()
{
    const int fromEnvironment = qEnvironmentVariableIntValue("KAVO_SOAK_PERIODS");
    return fromEnvironment > 0 ? fromEnvironment : 240;
}

// KAVO_SOAK_STATIONS sets how many stations take their turns, 1 to 32; two unless set.
int stationsToRun()
{
    const int fromEnvironment = qEnvironmentVariableIntValue("KAVO_SOAK_STATIONS");
    return fromEnvironment >= 1 && fromEnvironment <= 32 ? fromEnvironment : 2;
}

// KAVO_SOAK_KEY, hex text, is the key of every station, in Kavo.ini and Client.ini;
// none unless set.
QString keyToUse()
{
    return qEnvironmentVariable("KAVO_SOAK_KEY");
}

struct StationTotals
{
    qsizetype records = 0;
    qint64 feeUnits = 0;
    qint64 minutes = 0;
};
}

// The console without its window and real station windows on loopback, under one injected
// clock, through thousands of periods of every kind. Every started period must end
// up as exactly one record, and the totals must be the sum of the records.
class SoakTest : public QObject
{
    Q_OBJECT

private:
    TimeServiceStandIn m_timeService;
    std::unique_ptr<LinkedStationRig> m_rig;
    QList<int> m_started;
    QRandomGenerator m_random{20261208};

    ConsoleAppRig &console() { return m_rig->console(); }
    StationSession &session(int number) { return m_rig->session(number); }
    SessionProbe &shown(int number) { return m_rig->shown(number); }
    StationWindow &station(int number) { return m_rig->station(number); }
    QPushButton *stationButton(int number, const char *name)
    {
        return m_rig->stationButton(number, name);
    }
    int seconds(int from, int to) { return int(m_random.bounded(from, to + 1)); }

    void after(int secondsFromNow, std::function<void()> action)
    {
        whenClockReaches(m_rig->clock(), qint64(secondsFromNow) * 1000, this, std::move(action));
    }

    // The interval options are 5, 10, 15 and 30 minutes; none: open-ended.
    void startAtConsole(int number, int intervalIndex)
    {
        static constexpr int minutes[] = {5, 10, 15, 30};
        ++m_started[number - 1];
        session(number).start(intervalIndex >= 0 ? minutes[intervalIndex] : 0);
    }

    bool linked(int number)
    {
        return stationButton(number, "cmdStart")->isEnabled()
            || stationButton(number, "cmdStop")->isEnabled();
    }

    // Waits for the period to be over everywhere; a period the console still holds
    // open (its station's stop ran together with a time text) is stopped by the
    // operator, as in the café.
    void settle(int number)
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            !stationButton(number, "cmdStop")->isEnabled() || !shown(number).stopEnabled, 20000);
        QTest::qWait(1);
        if (session(number).periodRunning())
            session(number).stop();
        QTRY_VERIFY_WITH_TIMEOUT(!stationButton(number, "cmdStop")->isEnabled(), 20000);
        QVERIFY(!session(number).periodRunning());
        m_rig->clock().advanceMs(seconds(1, 600) * 1000);
    }

    void breakLink(int number)
    {
        station(number)
            .findChild<TcpConnection *>(QStringLiteral("Winsock1"))
            ->findChild<QTcpSocket *>()
            ->abort();
    }

    void reconnect(int number)
    {
        QTRY_VERIFY(stationButton(number, "cmdVerbinden")->isEnabled());
        stationButton(number, "cmdVerbinden")->click();
        QTRY_VERIFY(shown(number).startEnabled);
        QTRY_VERIFY(stationButton(number, "cmdStart")->isEnabled());
    }

    void runPeriod(int number, int kind)
    {
        switch (kind) {
        case 0: // a timed period that runs out at the station
            startAtConsole(number, 0);
            break;
        case 1: // an endless period stopped at the console
            after(seconds(1, 900), [this, number] { session(number).stop(); });
            startAtConsole(number, -1);
            break;
        case 2: // a timed period stopped at the console
            after(seconds(0, 500), [this, number] { session(number).stop(); });
            startAtConsole(number, int(m_random.bounded(1, 4)));
            break;
        case 3: // stopped with the station's Stop button
            after(seconds(1, 800), [this, number] { stationButton(number, "cmdStop")->click(); });
            startAtConsole(number, int(m_random.bounded(0, 4)));
            break;
        case 4: // the link breaks during the period; meanwhile a period without station
            after(seconds(1, 200), [this, number] { breakLink(number); });
            startAtConsole(number, 3);
            QTRY_VERIFY(!shown(number).controlsEnabled);
            session(number).enableWithoutStation();
            startAtConsole(number, 1);
            m_rig->clock().advanceMs(seconds(1, 3600) * 1000);
            session(number).stop();
            reconnect(number);
            break;
        default: // an endless period that ends by itself after 420 minutes
            startAtConsole(number, -1);
            break;
        }
        settle(number);
    }

    void useKey(const QString &key, const QList<int> &stations)
    {
        for (int number : stations)
            console().files().writeIni(ConsoleKeys::stationsSection,
                                       ConsoleKeys::stationKey(number), key);
        const Failure written = IniFile::write(
            QDir(console().files().programDir()).filePath(QStringLiteral("Client.ini")),
            QStringLiteral("Server"), QStringLiteral("Schluessel"), key);
        QVERIFY(!written);
        qInfo("every station proves the key");
    }

    StationTotals storedTotals(int number)
    {
        StationTotals totals;
        const QList<QVariantList> records = console().records(number);
        totals.records = records.size();
        for (const QVariantList &row : records) {
            totals.feeUnits += qRound64(row[3].toDouble() * 10000);
            const QStringList parts = row[2].toString().split(QLatin1Char(':'));
            totals.minutes += Billing::wholeMinutes(
                parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60 + parts[2].toLongLong());
        }
        return totals;
    }

private slots:
    void everyStartedPeriodIsRecordedOnce()
    {
        QList<int> stations;
        for (int number = 1; number <= stationsToRun(); ++number)
            stations.append(number);
        m_started.fill(0, stations.size());
        m_rig = std::make_unique<LinkedStationRig>(QDateTime(QDate(2026, 1, 5), QTime(8, 0)));
        if (const QString key = keyToUse(); !key.isEmpty())
            useKey(key, stations);
        QVERIFY(m_rig->start(stations));

        const int periods = periodsToRun();
        for (int i = 0; std::reduce(m_started.begin(), m_started.end()) < periods; ++i) {
            const int number = 1 + i % int(stations.size());
            // Endless periods that run their full 420 minutes are the slowest: one in fifty.
            const int kind = i % 50 == 49 ? 5 : int(m_random.bounded(0, 5));
            runPeriod(number, kind);
            if (QTest::currentTestFailed())
                return;
        }

        for (int number : stations) {
            const StationTotals totals = storedTotals(number);
            QCOMPARE(totals.records, qsizetype(m_started[number - 1]));
            QCOMPARE(console().app().database().recorder().readTotalMinutes(number),
                     std::optional<qint64>(totals.minutes));
            QCOMPARE(console().app().database().recorder().readTotalFees(number),
                     std::optional<qint64>(totals.feeUnits));
            qInfo("station %d: %d periods started, %lld records, %lld minutes", number,
                  m_started[number - 1], qint64(totals.records), totals.minutes);
        }
    }

    void cleanupTestCase() { m_rig.reset(); }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"

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
#include <QRadioButton>
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

// The real console and its real station windows on loopback, under one injected
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

    MainWindow &console() { return m_rig->window(); }
    StationWindow &station(int number) { return m_rig->station(number); }
    StationPanel &panel(int number) { return m_rig->panel(number); }
    QPushButton *stationButton(int number, const char *name)
    {
        return m_rig->stationButton(number, name);
    }
    int seconds(int from, int to) { return int(m_random.bounded(from, to + 1)); }

    void after(int secondsFromNow, std::function<void()> action)
    {
        whenClockReaches(m_rig->clock(), qint64(secondsFromNow) * 1000, this, std::move(action));
    }

    void startAtConsole(int number, int intervalIndex)
    {
        StationPanel &p = panel(number);
        if (intervalIndex >= 0)
            p.intervals[intervalIndex]->setChecked(true);
        ++m_started[number - 1];
        p.start->click();
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
        QTRY_VERIFY_WITH_TIMEOUT(!stationButton(number, "cmdStop")->isEnabled()
                                     || !panel(number).stop->isEnabled(),
                                 20000);
        QTest::qWait(1);
        if (console().session(number).periodRunning())
            panel(number).stop->click();
        QTRY_VERIFY_WITH_TIMEOUT(!stationButton(number, "cmdStop")->isEnabled(), 20000);
        QVERIFY(!console().session(number).periodRunning());
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
        QTRY_VERIFY(panel(number).start->isEnabled());
        QTRY_VERIFY(stationButton(number, "cmdStart")->isEnabled());
    }

    void runPeriod(int number, int kind)
    {
        switch (kind) {
        case 0: // a timed period that runs out at the station
            startAtConsole(number, 0);
            break;
        case 1: // an endless period stopped at the console
            after(seconds(1, 900), [this, number] { panel(number).stop->click(); });
            startAtConsole(number, -1);
            break;
        case 2: // a timed period stopped at the console
            after(seconds(0, 500), [this, number] { panel(number).stop->click(); });
            startAtConsole(number, int(m_random.bounded(1, 4)));
            break;
        case 3: // stopped with the station's Stop button
            after(seconds(1, 800), [this, number] { stationButton(number, "cmdStop")->click(); });
            startAtConsole(number, int(m_random.bounded(0, 4)));
            break;
        case 4: // the link breaks during the period; meanwhile a period without station
            after(seconds(1, 200), [this, number] { breakLink(number); });
            startAtConsole(number, 3);
            QTRY_VERIFY(!panel(number).pcInfo->isEnabled());
            panel(number).withoutStation->click();
            startAtConsole(number, 1);
            m_rig->clock().advanceMs(seconds(1, 3600) * 1000);
            panel(number).stop->click();
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
            m_rig->console().writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationKey(number),
                                      key);
        const Failure written = IniFile::write(
            QDir(m_rig->console().programDir()).filePath(QStringLiteral("Client.ini")),
            QStringLiteral("Server"), QStringLiteral("Schluessel"), key);
        QVERIFY(!written);
        qInfo("every station proves the key");
    }

    StationTotals storedTotals(int number)
    {
        StationTotals totals;
        const QList<QVariantList> records = m_rig->console().records(number);
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
            QCOMPARE(console().database().recorder().readTotalMinutes(number),
                     std::optional<qint64>(totals.minutes));
            QCOMPARE(console().database().recorder().readTotalFees(number),
                     std::optional<qint64>(totals.feeUnits));
            qInfo("station %d: %d periods started, %lld records, %lld minutes", number,
                  m_started[number - 1], qint64(totals.records), totals.minutes);
        }
    }

    void cleanupTestCase() { m_rig.reset(); }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"

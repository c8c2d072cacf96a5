#include "Closings.h"
#include "RawDatabase.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QTest>

namespace {
const QDate day(2004, 5, 12);

QDateTime at(int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute));
}

// A stopped period of 10 minutes whose stop is `stop`, local time.
StoppedPeriod datedPeriod(int station, const QDateTime &stop, const QString &fee)
{
    StoppedPeriod stopped = stoppedPeriod(station, recordWithFee(fee), 600, stop.date().month());
    stopped.startMoment = stop.addSecs(-600);
    stopped.stopMoment = stop;
    return stopped;
}
}

// The day's and the shift's closing over the records. The test runs in Europe/Berlin.
class ClosingsTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    void recordDated(int station, const QDateTime &stop, const QString &fee)
    {
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(datedPeriod(station, stop, fee))));
    }
    Closings &closings() { return m_database->closings(); }

private slots:
    void initTestCase() { installClock(); }
    void cleanupTestCase() { removeClock(); }
    void init()
    {
        QVERIFY(makeDatabase());
        QVERIFY(!m_database->open(m_path));
    }
    void cleanup() { dropDatabase(); }

    // Only dated records stopped on the day count, per station, per operator and in
    // all; an undated record of the same month and one of the next day stay out.
    void dayFiguresPerStationAndOperator()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        recordDated(1, at(23, 59), QStringLiteral("0,50 €"));
        recordDated(2, at(12, 0), QStringLiteral("2,00 €"));
        recordDated(2, QDateTime(day.addDays(1), QTime(0, 0)), QStringLiteral("9,00 €"));
        QVERIFY(recordOn(2, day, QStringLiteral("7,00 €")));
        QVERIFY(RawDatabase(m_path).exec("UPDATE client2 SET client2bediener = 'anna'"
                                         " WHERE client2nummer = 3"));

        const std::optional<Closing> closing = closings().day(day, {{1, 25, 12'500}});
        QVERIFY(closing);
        QVERIFY(!closing->isSaved());
        const QString user = m_database->recorder().operatorName();
        QCOMPARE(closing->figures.stations,
                 (QMap<int, ClosingSum>{{1, {2, 20, 15'000}}, {2, {1, 10, 20'000}}}));
        QCOMPARE(closing->figures.operators,
                 (QMap<QString, ClosingSum>{{user, {2, 20, 15'000}},
                                            {QStringLiteral("anna"), {1, 10, 20'000}}}));
        QCOMPARE(closing->figures.total, (ClosingSum{3, 30, 35'000}));
        QCOMPARE(closing->figures.running, QList<RunningFigure>({{1, 25, 12'500}}));
        QCOMPARE(closing->fingerprint.size(), 64);
    }

    // A closed day is shown from its closing; a record changed behind the console's
    // back afterwards is reported, and the day can't be closed twice.
    void closedDayShownFromClosingAndChangesReported()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        std::optional<Closing> closing = closings().day(day);
        QVERIFY(closing);
        QVERIFY(!closings().save(*closing));
        QCOMPARE(closing->number, 1);
        QCOMPARE(RawDatabase(m_path)
                     .value("SELECT Fingerabdruck = '" + closing->fingerprint.toLatin1()
                            + "' AND Nummer = 1 AND Art = 'Tag' FROM Abschluesse")
                     .toInt(),
                 1);

        recordDated(1, at(10, 0), QStringLiteral("3,00 €")); // a late record of the day
        std::optional<Closing> shown = closings().day(day);
        QVERIFY(shown);
        QCOMPARE(shown->number, 1);
        QCOMPARE(shown->figures.total, (ClosingSum{1, 10, 10'000}));
        QVERIFY(shown->changedSince);

        QVERIFY(RawDatabase(m_path).exec("DELETE FROM client1 WHERE client1nummer = 2"));
        QVERIFY(!closings().day(day)->changedSince);
        QVERIFY(RawDatabase(m_path).exec("UPDATE client1 SET client1kosten = 1000"));
        shown = closings().day(day);
        QVERIFY(shown->changedSince);
        QCOMPARE(
            shown->changeNotice(),
            QStringLiteral("Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert."));

        const Failure again = closings().save(*closing);
        QVERIFY(again);
        QCOMPARE(again.text(),
                 QStringLiteral("Der 12.05.2004 ist schon abgeschlossen (Abschluss Nr. 1)."));
    }

    // Each shift covers the records since the shift closed before; closing one
    // starts the next, and the day's closing covers both.
    void shiftsCoverTheirOwnRecords()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        std::optional<Closing> first = closings().shift(at(14, 0), QStringLiteral("anna"));
        QVERIFY(first);
        QCOMPARE(first->from, at(0, 0));
        QVERIFY(!closings().save(*first));
        recordDated(2, at(14, 0), QStringLiteral("2,00 €"));
        recordDated(2, at(18, 0), QStringLiteral("0,50 €"));
        std::optional<Closing> second = closings().shift(at(20, 0), QStringLiteral("ben"));
        QVERIFY(second);
        QVERIFY(!closings().save(*second));

        QCOMPARE(first->figures.total, (ClosingSum{1, 10, 10'000}));
        QCOMPARE(second->from, at(14, 0));
        QCOMPARE(second->figures.total, (ClosingSum{2, 20, 25'000}));
        QCOMPARE(second->number, 2);
        QCOMPARE(closings().shift(at(21, 0), QStringLiteral("anna"))->figures.total, ClosingSum());
        QCOMPARE(closings().day(day)->figures.total, (ClosingSum{3, 30, 35'000}));
    }
};

QTEST_GUILESS_MAIN(ClosingsTest)
#include "tst_closings.moc"

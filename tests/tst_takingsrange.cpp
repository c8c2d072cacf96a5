#include "TakingsRange.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QTest>

namespace {
QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}
}

// The takings over a range of days, by the day of each record's stop. The test runs
// in Europe/Berlin.
class TakingsRangeTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    // A period of 10 minutes (its duration text 00:10:30) stopped at `stop`.
    bool recordDated(int station, const QDateTime &stop, const QString &fee)
    {
        StoppedPeriod stopped
            = stoppedPeriod(station, recordWithFee(fee), 600, stop.date().month());
        stopped.startMoment = stop.addSecs(-600);
        stopped.stopMoment = stop;
        return m_database->recorder().recordPeriod(stopped).kind == RecordOutcome::Written;
    }

    // Records around a new year and the ends of two months, one undated.
    void recordAroundNewYear()
    {
        QVERIFY(recordDated(1, local(2026, 12, 30, 23, 59, 59), QStringLiteral("1,00 €")));
        QVERIFY(recordDated(2, local(2026, 12, 31, 23, 55), QStringLiteral("2,00 €")));
        QVERIFY(recordDated(1, local(2027, 1, 1, 0, 5), QStringLiteral("3,00 €")));
        QVERIFY(recordDated(2, local(2027, 1, 1, 0, 7), QStringLiteral("0,50 €")));
        QVERIFY(recordDated(2, local(2027, 1, 31, 23, 59, 59), QStringLiteral("4,00 €")));
        QVERIFY(recordDated(1, local(2027, 2, 1, 0, 0, 30), QStringLiteral("5,00 €")));
        QVERIFY(recordOn(1, QDate(2027, 1, 15), QStringLiteral("7,00 €")));
    }

private slots:
    void initTestCase() { installClock(); }
    void cleanupTestCase() { removeClock(); }
    void init()
    {
        QVERIFY(makeDatabase());
        QVERIFY(!m_database->open(m_path));
    }
    void cleanup() { dropDatabase(); }

    // Each record counts on the day of its stop, also when it began the day before;
    // undated records lie in no range and are only counted.
    void sumsPerDayAndStation()
    {
        recordAroundNewYear();
        const Result<DailyTakings> takings
            = m_database->takings().takings(QDate(2026, 12, 31), QDate(2027, 1, 31));
        QVERIFY(takings.hasValue());
        QCOMPARE(takings->dayCount(), 32);
        QCOMPARE(takings->day(1), QDate(2027, 1, 1));
        QCOMPARE(takings->perDay[0], QList<qint64>({0, 20000}));
        QCOMPARE(takings->perDay[1], QList<qint64>({30000, 5000}));
        QCOMPARE(takings->perDay[31], QList<qint64>({0, 40000}));
        QCOMPARE(takings->amount(1), 35000);
        QCOMPARE(takings->amount(1, 2), 5000);
        QCOMPARE(takings->amount(15), 0);
        QCOMPARE(takings->total(), 95000);
        QCOMPARE(takings->total(1), 30000);
        QCOMPARE(takings->total(2), 65000);
        QCOMPARE(takings->undatedRecords, 1);

        const Result<DailyTakings> oneDay
            = m_database->takings().takings(QDate(2027, 2, 1), QDate(2027, 2, 1));
        QVERIFY(oneDay.hasValue());
        QCOMPARE(oneDay->dayCount(), 1);
        QCOMPARE(oneDay->total(), 50000);
    }

    void monthOfADay()
    {
        QCOMPARE(TakingsRange::monthStart(QDate(2028, 2, 17)), QDate(2028, 2, 1));
        QCOMPARE(TakingsRange::monthEnd(QDate(2028, 2, 17)), QDate(2028, 2, 29));
    }

    // The export lists every record of the range of all stations in the order of
    // their stops, with their dates as the café's clock showed them.
    void recordsOfTheRange()
    {
        recordAroundNewYear();
        const Result<QList<TakingsRecord>> records
            = m_database->takings().records(QDate(2027, 1, 1), QDate(2027, 1, 31));
        QVERIFY(records.hasValue());
        QCOMPARE(records->size(), 3);
        const TakingsRecord &first = records->at(0);
        QCOMPARE(first.station, 1);
        QCOMPARE(first.begin, local(2026, 12, 31, 23, 55));
        QCOMPARE(first.begin.offsetFromUtc(), 3600);
        QCOMPARE(first.end, local(2027, 1, 1, 0, 5));
        QCOMPARE(first.duration, QStringLiteral("00:10:30"));
        QCOMPARE(first.minutes, 10);
        QCOMPARE(first.feeUnits, 30000);
        QVERIFY(!first.operatorName.isEmpty());
        QCOMPARE(records->at(1).station, 2);
        QCOMPARE(records->at(1).number, first.number + 1);
        QCOMPARE(records->at(2).end, local(2027, 1, 31, 23, 59, 59));
        QCOMPARE(records->at(2).feeUnits, 40000);
    }
};

QTEST_GUILESS_MAIN(TakingsRangeTest)
#include "tst_takingsrange.moc"

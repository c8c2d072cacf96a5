#include "Billing.h"

#include <QTest>

namespace {
const Tariffs everyday{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};
}

class BillingTest : public QObject
{
    Q_OBJECT

private slots:
    void billsStoppedPeriods_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("fee");
        QTest::addColumn<QString>("duration");
        QTest::newRow("ten and a half minutes") << "14:00:00" << "14:10:30" << qint64(630) << qint64(10500)
                                                << "1,05 €" << "00:10:30";
        QTest::newRow("just under half an hour") << "14:00:00" << "14:29:59" << qint64(1799) << qint64(29983)
                                                 << "3,00 €" << "00:29:59";
        QTest::newRow("half an hour") << "14:00:00" << "14:30:00" << qint64(1800) << qint64(24000) << "2,40 €"
                                      << "00:30:00";
        QTest::newRow("just under an hour") << "14:00:00" << "14:59:59" << qint64(3599) << qint64(47987)
                                            << "4,80 €" << "00:59:59";
        QTest::newRow("an hour") << "14:00:00" << "15:00:00" << qint64(3600) << qint64(40000) << "4,00 €"
                                 << "01:00:00";
        QTest::newRow("past midnight") << "23:50:00" << "00:10:00" << qint64(1200) << qint64(20000) << "2,00 €"
                                       << "00:20:00";
        QTest::newRow("last minute of the day") << "23:59:30" << "00:00:30" << qint64(60) << qint64(1000)
                                                << "0,10 €" << "00:01:00";
        QTest::newRow("from before 23 o'clock") << "22:50:00" << "00:10:00" << qint64(4800) << qint64(53333)
                                                << "5,33 €" << "01:20:00";
        QTest::newRow("no time at all") << "14:00:00" << "14:00:00" << qint64(0) << qint64(0) << "0,00 €"
                                        << "00:00:00";
        QTest::newRow("single digits") << "9:05:00" << "9:15:00" << qint64(600) << qint64(10000) << "1,00 €"
                                       << "00:10:00";
    }
    void billsStoppedPeriods()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        const std::optional<PeriodBill> bill = Billing::bill(start, stop, everyday);
        QVERIFY(bill.has_value());
        QTEST(bill->durationSeconds, "seconds");
        QTEST(bill->feeUnits, "units");
        QTEST(bill->feeText, "fee");
        QTEST(bill->durationText, "duration");
    }

    void halvesRoundToEven()
    {
        // 0,0002 € per quarter hour makes these fees land exactly on half a unit.
        const Tariffs tiny{QStringLiteral("0,0002"), QStringLiteral("0,0002"), QStringLiteral("0,0002")};
        QCOMPARE(Billing::feeUnits(225, tiny), 0);  // 0.5
        QCOMPARE(Billing::feeUnits(1125, tiny), 2); // 2.5
        QCOMPARE(Billing::feeUnits(1575, tiny), 4); // 3.5

        QCOMPARE(Billing::wholeMinutes(0), 0);
        QCOMPARE(Billing::wholeMinutes(29), 0);
        QCOMPARE(Billing::wholeMinutes(30), 0);
        QCOMPARE(Billing::wholeMinutes(89), 1);
        QCOMPARE(Billing::wholeMinutes(90), 2);
        QCOMPARE(Billing::wholeMinutes(150), 2);
        QCOMPARE(Billing::wholeMinutes(630), 10);
    }

    void tariffTexts()
    {
        const Tariffs withPoint{QStringLiteral("1.50"), QStringLiteral("1.20"), QStringLiteral("1.00")};
        QCOMPARE(Billing::feeUnits(630, withPoint), 10500);
        QCOMPARE(Billing::feeUnits(3599, withPoint), 47987);

        const Tariffs noHourTariff{QStringLiteral("1,50"), QStringLiteral("1,20"), QString()};
        const std::optional<PeriodBill> hour = Billing::bill(QStringLiteral("14:00:00"), QStringLiteral("15:30:00"),
                                                             noHourTariff);
        QVERIFY(hour.has_value());
        QCOMPARE(hour->feeText, QStringLiteral("0,00 €"));
        QCOMPARE(hour->durationText, QStringLiteral("01:30:00"));
        QCOMPARE(Billing::feeUnits(3599, noHourTariff), 47987);

        const Tariffs garbled{QStringLiteral("zwei Euro"), QStringLiteral("1,2,0"), QStringLiteral("1,00 €")};
        for (qint64 seconds : {600, 1800, 3600})
            QCOMPARE(Billing::feeUnits(seconds, garbled), 0);
        const Tariffs absurd{QStringLiteral("99999999999999999999"), QString(), QString()};
        QCOMPARE(Billing::feeUnits(600, absurd), 0);
    }

    void unreadableTimesAreNotBilled()
    {
        QVERIFY(!Billing::bill(QString(), QStringLiteral("14:00:00"), everyday).has_value());
        QVERIFY(!Billing::bill(QStringLiteral("14:00:00"), QStringLiteral("Timer"), everyday).has_value());
        QVERIFY(!Billing::bill(QStringLiteral("24:00:00"), QStringLiteral("14:00:00"), everyday).has_value());
    }

    void formatSeconds_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "hh:nn:ss" << "00:00:00";
        QTest::newRow("59") << 59 << "hh:nn:ss" << "00:00:59";
        QTest::newRow("3600") << 3600 << "hh:nn:ss" << "01:00:00";
        QTest::newRow("3725") << 3725 << "hh:nn:ss" << "01:02:05";
        QTest::newRow("86399") << 86399 << "hh:nn:ss" << "23:59:59";
        QTest::newRow("a day is dropped") << 90000 << "hh:nn:ss" << "01:00:00";
        QTest::newRow("mm means minutes") << 3725 << "hh:mm:ss" << "01:02:05";
        QTest::newRow("other text stays") << 3725 << "nn min, ss s" << "02 min, 05 s";
    }
    void formatSeconds()
    {
        QFETCH(int, seconds);
        QFETCH(QString, format);
        QTEST(Billing::formatSeconds(seconds, format), "text");
    }
};

QTEST_APPLESS_MAIN(BillingTest)
#include "tst_billing.moc"

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
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("fee");
        QTest::addColumn<QString>("duration");
        QTest::newRow("ten and a half minutes") << qint64(630) << qint64(10500) << "1,05 €"
                                                << "00:10:30";
        QTest::newRow("just under half an hour") << qint64(1799) << qint64(29983) << "3,00 €"
                                                 << "00:29:59";
        QTest::newRow("half an hour") << qint64(1800) << qint64(24000) << "2,40 €"
                                      << "00:30:00";
        QTest::newRow("just under an hour") << qint64(3599) << qint64(47987) << "4,80 €"
                                            << "00:59:59";
        QTest::newRow("an hour") << qint64(3600) << qint64(40000) << "4,00 €"
                                 << "01:00:00";
        QTest::newRow("no time at all") << qint64(0) << qint64(0) << "0,00 €"
                                        << "00:00:00";
        // A day or more keeps all its hours, in the fee and in the duration.
        QTest::newRow("25 hours") << qint64(90000) << qint64(1000000) << "100,00 €"
                                  << "25:00:00";
        QTest::newRow("four days") << qint64(4 * 86400 + 61) << qint64(3840678) << "384,07 €"
                                   << "96:01:01";
    }
    void billsStoppedPeriods()
    {
        QFETCH(qint64, seconds);
        const PeriodBill bill = Billing::bill(seconds, everyday);
        QCOMPARE(bill.durationSeconds, seconds);
        QTEST(bill.feeUnits, "units");
        QTEST(bill.feeText, "fee");
        QTEST(bill.durationText, "duration");
    }

    // "Staffel=deckeln": a period just under a tariff's threshold costs at most what
    // one of that length does; elsewhere the tariffs apply as they are. A threshold
    // whose tariff can't be read caps nothing.
    void cappedByLongerPeriods_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("fee");
        QTest::addColumn<QString>("withoutHourTariff");
        QTest::newRow("ten minutes") << qint64(600) << "1,00 €"
                                     << "1,00 €";
        QTest::newRow("29:59") << qint64(1799) << "2,40 €"
                               << "2,40 €";
        QTest::newRow("half an hour") << qint64(1800) << "2,40 €"
                                      << "2,40 €";
        QTest::newRow("59:59") << qint64(3599) << "4,00 €"
                               << "4,80 €";
        QTest::newRow("an hour") << qint64(3600) << "4,00 €"
                                 << "0,00 €";
    }
    void cappedByLongerPeriods()
    {
        QFETCH(qint64, seconds);
        Tariffs capped = everyday;
        capped.capByLongerPeriods = true;
        QTEST(Billing::bill(seconds, capped).feeText, "fee");
        capped.over60.clear();
        QTEST(Billing::bill(seconds, capped).feeText, "withoutHourTariff");
    }

    void startBoxCorrections_data()
    {
        QTest::addColumn<QString>("realStart");
        QTest::addColumn<QString>("box");
        QTest::addColumn<qint64>("measured");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("unreadable");
        struct Row
        {
            const char *name, *realStart, *box;
            qint64 measured, seconds;
            const char *start;
            bool unreadable;
        };
        // The length is measured, so a period of more than a day stays one.
        static constexpr Row rows[] = {
            {"unchanged", "14:00:00", "14:00:00", 630, 630, "14:00:00", false},
            {"earlier, minutes", "14:07:30", "14:05", 600, 750, "14:05:00", false},
            {"later, seconds", "14:00:00", "14:05:09", 600, 291, "14:05:09", false},
            {"one-digit hour", "09:10:00", "9:05", 60, 360, "09:05:00", false},
            {"blanks around", "09:10:00", " 9:05 ", 60, 360, "09:05:00", false},
            {"before midnight", "00:10:00", "23:55", 600, 1500, "23:55:00", false},
            {"after the stop", "14:00:00", "15:00", 600, 0, "15:00:00", false},
            {"a day and more", "14:00:00", "13:00", 90000, 93600, "13:00:00", false},
            {"a stray key", "14:00:00", " ", 630, 630, "14:00:00", true},
            {"a letter", "14:00:00", "x", 630, 630, "14:00:00", true},
            {"emptied", "14:00:00", "", 630, 630, "14:00:00", true},
            {"no hour 25", "14:00:00", "25:00", 630, 630, "14:00:00", true},
            {"a date", "14:00:00", "12.05.2004", 630, 630, "14:00:00", true},
        };
        for (const Row &row : rows)
            QTest::newRow(row.name)
                << QString::fromUtf8(row.realStart) << QString::fromUtf8(row.box) << row.measured
                << row.seconds << QString::fromUtf8(row.start) << row.unreadable;
    }
    void startBoxCorrections()
    {
        QFETCH(QString, realStart);
        QFETCH(QString, box);
        QFETCH(qint64, measured);
        const PeriodLength length = Billing::periodLength(realStart, box, measured);
        QTEST(length.seconds, "seconds");
        QTEST(length.startText, "start");
        QTEST(length.startUnreadable, "unreadable");
    }

    void halvesRoundToEven()
    {
        // 0,0002 € per quarter hour makes these fees land exactly on half a unit.
        const Tariffs tiny{QStringLiteral("0,0002"), QStringLiteral("0,0002"),
                           QStringLiteral("0,0002")};
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
        const Tariffs withPoint{QStringLiteral("1.50"), QStringLiteral("1.20"),
                                QStringLiteral("1.00")};
        QCOMPARE(Billing::feeUnits(630, withPoint), 10500);
        QCOMPARE(Billing::feeUnits(3599, withPoint), 47987);

        const Tariffs noHourTariff{QStringLiteral("1,50"), QStringLiteral("1,20"), QString()};
        const PeriodBill hour = Billing::bill(5400, noHourTariff);
        QCOMPARE(hour.feeText, QStringLiteral("0,00 €"));
        QCOMPARE(hour.durationText, QStringLiteral("01:30:00"));
        QCOMPARE(Billing::feeUnits(3599, noHourTariff), 47987);

        const Tariffs garbled{QStringLiteral("zwei Euro"), QStringLiteral("1,2,0"),
                              QStringLiteral("1,00 €")};
        for (qint64 seconds : {600, 1800, 3600})
            QCOMPARE(Billing::feeUnits(seconds, garbled), 0);
        const Tariffs absurd{QStringLiteral("99999999999999999999"), QString(), QString()};
        QCOMPARE(Billing::feeUnits(600, absurd), 0);
    }

    void formatSeconds_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        struct Row
        {
            const char *name;
            int seconds;
            const char *format, *text;
        };
        static constexpr Row rows[] = {
            {"zero", 0, "hh:nn:ss", "00:00:00"},
            {"59", 59, "hh:nn:ss", "00:00:59"},
            {"3600", 3600, "hh:nn:ss", "01:00:00"},
            {"3725", 3725, "hh:nn:ss", "01:02:05"},
            {"86399", 86399, "hh:nn:ss", "23:59:59"},
            {"a day is dropped", 90000, "hh:nn:ss", "01:00:00"},
            {"mm means minutes", 3725, "hh:mm:ss", "01:02:05"},
            {"other text stays", 3725, "nn min, ss s", "02 min, 05 s"},
        };
        for (const Row &row : rows)
            QTest::newRow(row.name)
                << row.seconds << QString::fromUtf8(row.format) << QString::fromUtf8(row.text);
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

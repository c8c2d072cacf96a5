#include "RawDatabase.h"
#include "StoredMoney.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QTest>

#include <limits>

// The recorder: records, running totals and money as stored.
class UsageRecorderTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeDatabase()); }
    void cleanup() { dropDatabase(); }

    void recordsAddUpPerStation()
    {
        QVERIFY(!m_database->open(m_path));
        const std::optional<UsageTotals> first
            = record(1, recordWithFee(QStringLiteral("1,05 €")), 630)->totals;
        QVERIFY(first.has_value());
        QCOMPARE(first->minutes, 10); // 10.5 minutes, half to even
        QCOMPARE(first->feeUnits, 10500);
        for (qint64 seconds : {89, 30, 150})
            QVERIFY(record(1, recordWithFee(QStringLiteral("1.234,50 €")), seconds)->totals);
        QCOMPARE(m_database->recorder().readTotalMinutes(1), 10 + 1 + 0 + 2);
        QCOMPARE(m_database->statistics().sumAllFees(1), 10500 + 3 * 12345000);
        QCOMPARE(m_database->recorder().readTotalMinutes(2), 0);
        QVERIFY(!m_database->statistics().sumAllFees(2).has_value());

        // Committed: another connection sees the records at once.
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 4);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client1stat"),
                 10500 + 3 * 12345000);
    }

    void totalsGrowFromTheStoredValues()
    {
        RawDatabase(m_path).exec("UPDATE client1stat SET Nutzungszeit = 32767, Entgeld = 50000;"
                                 "UPDATE client2stat SET Nutzungszeit = NULL, Entgeld = NULL;");
        QVERIFY(!m_database->open(m_path));
        const std::optional<UsageTotals> past
            = record(1, recordWithFee(QStringLiteral("0,20 €")), 120)->totals;
        QVERIFY(past.has_value());
        QCOMPARE(past->minutes, 32769);
        QCOMPARE(past->feeUnits, 52000);
        QCOMPARE(m_database->recorder().readTotalMinutes(1), 32769);

        const std::optional<UsageTotals> fromEmpty
            = record(2, recordWithFee(QStringLiteral("0,20 €")), 120)->totals;
        QVERIFY(fromEmpty.has_value());
        QCOMPARE(fromEmpty->minutes, 2);
        QCOMPARE(fromEmpty->feeUnits, 2000);
    }

    void storedMoneyForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint64>>("units");
        const auto row = [](const char *text, std::optional<qint64> units) {
            QTest::newRow(text) << QString::fromUtf8(text) << units;
        };
        row("10500", 10500); // as the console writes it
        row("1.05", 10500);
        row(" -0,5 ", -5000);
        row(".25", 2500);
        row("1.234,50 €", 12345000);
        row("0.00005", 0); // halves to even
        row("0.00015", 2);
        row("0.000051", 1);
        row("2.99999", 30000);
        row("922337203685477.5807", std::numeric_limits<qint64>::max());
        row("922337203685477.58075", std::nullopt);
        row("1e3", std::nullopt);
        row("zehn", std::nullopt);
        row("", std::nullopt);
    }

    void storedMoneyForms()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint64>, units);
        QCOMPARE(StoredMoney::fromText(text), units);
    }

    void storedRealsReadAsTyped()
    {
        QCOMPARE(StoredMoney::fromReal(1.05), 10500);
        QCOMPARE(StoredMoney::fromReal(0.1 + 0.2), 3000);
        QCOMPARE(StoredMoney::fromReal(-1234567.8901), -12345678901);
        QCOMPARE(StoredMoney::fromReal(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
        QCOMPARE(StoredMoney::fromReal(1e300), std::nullopt);
    }

    void failedTotalsLeaveNoRecordButAMissingTotalsRowDoes()
    {
        RawDatabase(m_path).exec("CREATE TRIGGER frozen BEFORE UPDATE ON client1stat"
                                 " BEGIN SELECT RAISE(ABORT, 'frozen'); END;"
                                 "DELETE FROM client2stat;");
        QVERIFY(!m_database->open(m_path));
        QCOMPARE(m_database->recorder().stationsWithoutTotals(), QList<int>({2}));
        const QString frozen
            = record(1, recordWithFee(QStringLiteral("1,05 €")), 630).failure().text();
        QVERIFY2(frozen.endsWith(QStringLiteral("(frozen)")), qPrintable(frozen));
        QVERIFY(!record(1, recordWithFee(QStringLiteral("kostenlos")), 630).hasValue());
        // Without its totals row a station's records are still kept.
        const Result<RecordedPeriod> untotalled
            = record(2, recordWithFee(QStringLiteral("1,05 €")), 630);
        QVERIFY(writtenNow(untotalled));
        QVERIFY(!untotalled->totals.has_value());

        RawDatabase raw(m_path);
        QCOMPARE(raw.value("SELECT count(*) FROM client1"), 0);
        QCOMPARE(raw.value("SELECT count(*) FROM client2"), 1);
        QCOMPARE(raw.value("SELECT count(*) FROM client2stat"), 0);
        QCOMPARE(raw.value("SELECT Nutzungszeit FROM client1stat"), 0);
        // Nothing is left half done: the next period is stored in full.
        raw.exec("DROP TRIGGER frozen");
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630)->totals->minutes, 10);
        QCOMPARE(raw.value("SELECT count(*) FROM client1"), 1);
    }

    // A total typed by hand that reads as no amount is never overwritten; only an
    // empty field counts as zero.
    void unreadableTotalIsLeftAsTyped()
    {
        QVERIFY(!m_database->open(m_path));
        for (const char *typed : {"'12,50 EUR'", "'1 234,50'", "'abc'"}) {
            QVERIFY(
                RawDatabase(m_path).exec(QByteArray("UPDATE client1stat SET Entgeld = ") + typed));
            QCOMPARE(m_database->recorder().stationsWithUnreadableTotals(), QList<int>{1});
            const Result<RecordedPeriod> recorded
                = record(1, recordWithFee(QStringLiteral("1,05 €")), 630);
            QVERIFY(writtenNow(recorded));
            QVERIFY(recorded->totalsUnreadable && !recorded->totals);
            QVERIFY(!m_database->recorder().readTotalFees(1));
        }
        QVERIFY(RawDatabase(m_path).exec("UPDATE client1stat SET Entgeld = ''"));
        QVERIFY(m_database->recorder().stationsWithUnreadableTotals().isEmpty());
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630)->totals->feeUnits, 105'00);
    }
};

QTEST_GUILESS_MAIN(UsageRecorderTest)
#include "tst_usagerecorder.moc"

#include "RawDatabase.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// The statistics: all-time and month sums, their result tables and the rows for a workbook.
class UsageStatisticsTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

    // Records a period of `seconds` stopped at `stop`, as the console would.
    bool recordAt(int station, const QDateTime &stop, const QString &fee, qint64 seconds)
    {
        StoppedPeriod stopped
            = stoppedPeriod(station, recordWithFee(fee), seconds, stop.date().month());
        stopped.startMoment = stop.addSecs(-seconds);
        stopped.stopMoment = stop;
        return writtenNow(m_database->recorder().recordPeriod(stopped));
    }

private slots:
    void init() { QVERIFY(makeDatabase()); }
    void cleanup() { dropDatabase(); }

    void newDatabaseHasNoRecords()
    {
        QVERIFY(!m_database->open(m_path));
        RawDatabase(m_path).exec("UPDATE client2stat SET Nutzungszeit = 125");
        for (int station : {1, 2}) {
            QVERIFY(m_database->statistics().listMonths(station).isEmpty());
            QVERIFY(!m_database->statistics().sumAllFees(station).has_value());
            QVERIFY(
                !m_database->statistics().sumMonthFees(station, QStringLiteral("5")).has_value());
        }
        QCOMPARE(m_database->recorder().readTotalMinutes(1), 0);
        QCOMPARE(m_database->recorder().readTotalMinutes(2), 125);
        const std::optional<XlsSheetData> table = m_database->statistics().exportStation(1);
        QVERIFY(table.has_value());
        QCOMPARE(table->fieldNames,
                 QStringList({"client1start", "client1ende", "client1dauer", "client1kosten",
                              "client1datum", "client1von", "client1bis", "client1bediener",
                              "client1nummer", "client1herkunft", "client1pause"}));
        QVERIFY(table->rows.isEmpty());
    }

    void exportGivesTypedRowsInStoredOrder()
    {
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(2, QDate(2004, 11, 3), QStringLiteral("1,05 €")));
        QVERIFY(record(2,
                       {QStringLiteral("23:50:00"), QStringLiteral("00:10:00"),
                        QStringLiteral("00:20:00"), QStringLiteral("2,00 €")},
                       1200, 11)
                    ->totals);
        const std::optional<XlsSheetData> table = m_database->statistics().exportStation(2);
        QVERIFY(table.has_value());
        QCOMPARE(table->fieldNames.first(), QStringLiteral("client2start"));
        QCOMPARE(table->rows.size(), 2);
        QCOMPARE(table->rows[0].mid(0, 5),
                 QVariantList({"14:00:00", "14:10:30", "00:10:30", 1.05, qint64(11)}));
        QCOMPARE(table->rows[1].mid(0, 5),
                 QVariantList({"23:50:00", "00:10:00", "00:20:00", 2.0, qint64(11)}));
        QCOMPARE(table->rows[0][3].typeId(), QMetaType::Double);
    }

    // November of one year is not November of another; each of more than two
    // stations has sums of its own.
    void monthsAreListedInOrderWithTheirYear()
    {
        QVERIFY(UsageDatabase::addMissingStations(m_path, 6).hasValue());
        QVERIFY(!m_database->open(m_path, 6));
        const QTime ten(10, 0);
        QVERIFY(recordAt(1, QDateTime(QDate(2026, 11, 20), ten), QStringLiteral("4,00 €"), 3600));
        QVERIFY(recordAt(1, QDateTime(QDate(2025, 11, 3), ten), QStringLiteral("2,40 €"), 1800));
        QVERIFY(recordAt(1, QDateTime(QDate(2026, 3, 9), ten), QStringLiteral("1,05 €"), 630));
        QVERIFY(recordAt(5, QDateTime(QDate(2025, 11, 3), ten), QStringLiteral("2,40 €"), 1800));
        UsageStatistics &sums = m_database->statistics();
        QCOMPARE(sums.listMonths(1), QStringList({"11.2025", "03.2026", "11.2026"}));
        QCOMPARE(sums.sumMonthFees(1, QStringLiteral("11.2026")), 40000);
        // A month's minutes are its records' durations, 00:10:30 each here.
        QCOMPARE(sums.sumMonthMinutes(1, QStringLiteral("11.2026")), 10);
        QCOMPARE(sums.listMonths(5), QStringList({"11.2025"}));
        QCOMPARE(m_database->recorder().readTotalMinutes(5), 30);
        for (int station : {2, 6})
            QVERIFY(sums.listMonths(station).isEmpty());
    }

    void monthsAreMatchedByTheirText()
    {
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2003, 11, 30), QStringLiteral("10,00 €")));
        QVERIFY(recordOn(1, QDate(2003, 5, 2), QStringLiteral("1,00 €")));
        QVERIFY(recordOn(1, QDate(2004, 5, 20), QStringLiteral("2,50 €")));
        QVERIFY(recordOn(1, QDate(2004, 1, 7), QStringLiteral("0,40 €")));
        QVERIFY(recordOn(1, QDate(2004, 12, 24), QStringLiteral("7,00 €")));
        QVERIFY(recordOn(1, QDate(2004, 3, 1), QStringLiteral("3,00 €")));

        QCOMPARE(m_database->statistics().listMonths(1),
                 QStringList({"1 (ohne Jahr)", "3 (ohne Jahr)", "5 (ohne Jahr)", "11 (ohne Jahr)",
                              "12 (ohne Jahr)"}));
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("5 (ohne Jahr)")),
                 35000); // May of both years: their year is not known
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("1 (ohne Jahr)")),
                 4000); // not 11 or 12
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("11 (ohne Jahr)")),
                 100000);
        for (const char *text : {"15", "05", "5 ", "%", "_", "", "1' OR '1'='1"}) {
            for (const QString &month :
                 {QString::fromLatin1(text), QString::fromLatin1(text) + " (ohne Jahr)"}) {
                QVERIFY2(!m_database->statistics().sumMonthFees(1, month).has_value(),
                         qPrintable(month));
            }
        }
        QVERIFY(!m_database->statistics().sumMonthFees(1, QStringLiteral("5")).has_value());
        QVERIFY(
            !m_database->statistics().sumMonthFees(2, QStringLiteral("5 (ohne Jahr)")).has_value());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 6);
    }

    // A result table that can't be made anew (here a view of that name, made by
    // hand) would give another month's or an older sum: none is given.
    void resultTableNotMadeGivesNoSum()
    {
        RawDatabase(m_path).exec("CREATE VIEW Entgeld1 AS SELECT 999 AS Entgeld1;"
                                 "CREATE VIEW Monat1 AS SELECT 999 AS Kosten1;");
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 1), QStringLiteral("1,50 €")));
        QVERIFY(!m_database->statistics().sumAllFees(1).has_value());
        QVERIFY(
            !m_database->statistics().sumMonthFees(1, QStringLiteral("5 (ohne Jahr)")).has_value());
    }

    void resultTablesOfEarlierRunsAreReplaced()
    {
        RawDatabase(m_path).exec("CREATE TABLE Entgeld1 AS SELECT 999 AS Entgeld1;"
                                 "CREATE TABLE Monat1 AS SELECT 999 AS Kosten1;");
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 1), QStringLiteral("1,50 €")));
        QCOMPARE(m_database->statistics().sumAllFees(1), 15000);
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("5 (ohne Jahr)")), 15000);
        QVERIFY(
            !m_database->statistics().sumMonthFees(1, QStringLiteral("6 (ohne Jahr)")).has_value());
        QCOMPARE(m_database->statistics().sumAllFees(1), 15000);

        m_database.reset(); // the run ends
        RawDatabase raw(m_path);
        QCOMPARE(raw.value("SELECT Entgeld1 FROM Entgeld1"), 15000);
        QCOMPARE(raw.value("SELECT count(*) FROM Monat1"), 1);
        QVERIFY(!raw.value("SELECT Kosten1 FROM Monat1").isValid());
    }

    // An operator correcting money in the database shell types euros with decimals.
    void decimalMoneyFromTheShellReadsAsEuros()
    {
        QProcess shell;
        shell.start(QStringLiteral("sqlcipher"), {m_path});
        shell.write("PRAGMA key = 'qrtdb52';"
                    "UPDATE client1stat SET Entgeld = 1.05;"
                    "INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, "
                    "client1datum) VALUES ('14:00:00', '14:10:30', '00:10:30', 1.05, 5);"
                    "INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, "
                    "client1datum) VALUES ('15:00:00', '15:10:30', '00:10:30', '2,50', 5);"
                    "INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, "
                    "client1datum) VALUES ('16:00:00', '16:10:30', '00:10:30', 10500, 5);"
                    "INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, "
                    "client1datum) VALUES ('17:00:00', '17:00:01', '00:00:01', 0.0001, 6);");
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 0);

        QVERIFY(!m_database->open(m_path));
        QCOMPARE(m_database->recorder().readTotalFees(1), 10500);
        QCOMPARE(m_database->statistics().sumAllFees(1), 10500 + 25000 + 10500 + 1);
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("5 (ohne Jahr)")), 46000);
        QCOMPARE(m_database->statistics().sumMonthFees(1, QStringLiteral("6 (ohne Jahr)")), 1);
        const std::optional<XlsSheetData> table = m_database->statistics().exportStation(1);
        QList<double> exported;
        for (const QVariantList &row : table->rows)
            exported.append(row[3].toDouble());
        QCOMPARE(exported, QList<double>({1.05, 2.5, 1.05, 0.0001}));
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630)->totals->feeUnits, 21000);
    }

    // The all-time sums a close leaves in the result tables are taken by the next start
    // only while the file is as that close left it and nobody else wrote during the run.
    void allTimeSumsFollowEveryWriter()
    {
        const auto reopen = [this] {
            m_database = std::make_unique<UsageDatabase>();
            QVERIFY(!m_database->open(m_path));
        };
        const auto markNamesSums = [this] {
            QFile mark(UsageDatabase::checkedMarkPathFor(m_path));
            return mark.open(QIODevice::ReadOnly) && mark.readAll().contains("\nEntgeld 2\n");
        };
        const char *outsideRecord
            = "INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, "
              "client1datum) VALUES ('9:00:00', '9:10:00', '00:10:00',"
              " 10000, 5)";
        reopen();
        QVERIFY(!m_database->statistics().sumAllFees(1).has_value());
        QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,50 €")));
        QCOMPARE(m_database->statistics().sumAllFees(1), 15000);
        QVERIFY(!m_database->statistics().sumAllFees(2).has_value());
        m_database.reset();
        QVERIFY(markNamesSums());
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld1 FROM Entgeld1"), 15000);

        reopen();
        QCOMPARE(m_database->statistics().sumAllFees(1), 15000);
        QVERIFY(!m_database->statistics().sumAllFees(2).has_value());
        QVERIFY(recordOn(2, QDate(2004, 5, 3), QStringLiteral("2,00 €")));
        RawDatabase(m_path).exec(outsideRecord); // while the console runs
        m_database.reset();
        QVERIFY(!markNamesSums());

        reopen();
        QCOMPARE(m_database->statistics().sumAllFees(1), 25000);
        QCOMPARE(m_database->statistics().sumAllFees(2), 20000);
        m_database.reset();
        QVERIFY(markNamesSums());
        RawDatabase(m_path).exec(outsideRecord); // between two runs
        reopen();
        QCOMPARE(m_database->statistics().sumAllFees(1), 35000);
    }
};

QTEST_GUILESS_MAIN(UsageStatisticsTest)
#include "tst_usagestatistics.moc"

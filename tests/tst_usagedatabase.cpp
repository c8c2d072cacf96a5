#include "ManualClock.h"
#include "ScopedClock.h"
#include "StoredMoney.h"
#include "StoreFaults.h"
#include "TestSupport.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <sqlite3.h>

#include <memory>

namespace {
// A database file reached around the class under test, the way an operator's
// command-line shell reaches it.
class RawDatabase
{
public:
    explicit RawDatabase(const QString &path, const QByteArray &key = UsageDatabase::password)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        exec("PRAGMA key = '" + key + "'");
    }
    ~RawDatabase() { sqlite3_close(m_db); }
    RawDatabase(const RawDatabase &) = delete;
    RawDatabase &operator=(const RawDatabase &) = delete;

    bool exec(const QByteArray &sql)
    {
        return sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // The first value of the first row; invalid for none or null.
    QVariant value(const QByteArray &sql)
    {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr);
        QVariant result;
        if (sqlite3_step(statement) == SQLITE_ROW
            && sqlite3_column_type(statement, 0) != SQLITE_NULL)
            result = qint64(sqlite3_column_int64(statement, 0));
        sqlite3_finalize(statement);
        return result;
    }

private:
    sqlite3 *m_db = nullptr;
};

const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

UsageRecord recordWithFee(const QString &fee)
{
    return {QStringLiteral("14:00:00"), QStringLiteral("14:10:30"), QStringLiteral("00:10:30"),
            fee};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class UsageDatabaseTest : public QObject
{
    Q_OBJECT

private:
    // Records a period of 630 s (10 minutes) stopped on `day`.
    bool recordOn(int station, const QDate &day, const QString &fee)
    {
        return record(station, recordWithFee(fee), 630, day.month()).kind == RecordOutcome::Written;
    }

    RecordOutcome record(int station, const UsageRecord &usage, qint64 seconds, int month = 5)
    {
        return m_database->recordPeriod(stoppedPeriod(station, usage, seconds, month));
    }

    ManualClock m_clock{QDateTime(QDate(2004, 5, 12), QTime(14, 0))};
    std::unique_ptr<ScopedClock> m_clockGuard;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<UsageDatabase> m_database;

private slots:
    void initTestCase() { m_clockGuard = std::make_unique<ScopedClock>(m_clock); }
    void cleanupTestCase() { m_clockGuard.reset(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = UsageDatabase::pathFor(m_dir->path(), QStringLiteral("kavo"));
        const Failure failure = UsageDatabase::create(m_path);
        QVERIFY2(!failure, qPrintable(failure.text()));
        m_database = std::make_unique<UsageDatabase>();
    }

    void cleanup() { m_database.reset(); }

    void pathIsProgramDirectoryAndName()
    {
        QCOMPARE(UsageDatabase::pathFor(QStringLiteral("/opt/kavo"), QStringLiteral("zeiten")),
                 QStringLiteral("/opt/kavo/zeiten.mde"));
        QCOMPARE(UsageDatabase::pathFor(QStringLiteral("/opt/kavo"), QString()),
                 QStringLiteral("/opt/kavo/.mde"));
    }

    void newDatabaseHasNoRecords()
    {
        QVERIFY(!m_database->open(m_path));
        RawDatabase(m_path).exec("UPDATE client2stat SET Nutzungszeit = 125");
        for (int station : {1, 2}) {
            QVERIFY(m_database->listMonths(station).isEmpty());
            QVERIFY(!m_database->sumAllFees(station).has_value());
            QVERIFY(!m_database->sumMonthFees(station, QStringLiteral("5")).has_value());
        }
        QCOMPARE(m_database->readTotalMinutes(1), 0);
        QCOMPARE(m_database->readTotalMinutes(2), 125);
        const std::optional<XlsSheetData> table = m_database->exportStation(1);
        QVERIFY(table.has_value());
        QCOMPARE(table->fieldNames,
                 QStringList({"client1start", "client1ende", "client1dauer", "client1kosten",
                              "client1datum"}));
        QVERIFY(table->rows.isEmpty());
    }

    void recordsAddUpPerStation()
    {
        QVERIFY(!m_database->open(m_path));
        const std::optional<UsageTotals> first
            = record(1, recordWithFee(QStringLiteral("1,05 €")), 630).totals;
        QVERIFY(first.has_value());
        QCOMPARE(first->minutes, 10); // 10.5 minutes, half to even
        QCOMPARE(first->feeUnits, 10500);
        for (qint64 seconds : {89, 30, 150})
            QVERIFY(record(1, recordWithFee(QStringLiteral("1.234,50 €")), seconds).totals);
        QCOMPARE(m_database->readTotalMinutes(1), 10 + 1 + 0 + 2);
        QCOMPARE(m_database->sumAllFees(1), 10500 + 3 * 12345000);
        QCOMPARE(m_database->readTotalMinutes(2), 0);
        QVERIFY(!m_database->sumAllFees(2).has_value());

        // Committed: another connection sees the records at once.
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 4);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client1stat"),
                 10500 + 3 * 12345000);
    }

    void exportGivesTypedRowsInStoredOrder()
    {
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(2, QDate(2004, 11, 3), QStringLiteral("1,05 €")));
        QVERIFY(record(2,
                       {QStringLiteral("23:50:00"), QStringLiteral("00:10:00"),
                        QStringLiteral("00:20:00"), QStringLiteral("2,00 €")},
                       1200, 11)
                    .totals);
        const std::optional<XlsSheetData> table = m_database->exportStation(2);
        QVERIFY(table.has_value());
        QCOMPARE(table->fieldNames.first(), QStringLiteral("client2start"));
        QCOMPARE(table->rows.size(), 2);
        QCOMPARE(table->rows[0],
                 QVariantList({"14:00:00", "14:10:30", "00:10:30", 1.05, qint64(11)}));
        QCOMPARE(table->rows[1],
                 QVariantList({"23:50:00", "00:10:00", "00:20:00", 2.0, qint64(11)}));
        QCOMPARE(table->rows[0][3].typeId(), QMetaType::Double);
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

        QCOMPARE(m_database->listMonths(1), QStringList({"1", "3", "5", "11", "12"}));
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("5")), 35000); // May of both years
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("1")), 4000);  // not 11 or 12
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("11")), 100000);
        for (const char *text : {"15", "05", "5 ", "%", "_", "", "1' OR '1'='1"})
            QVERIFY2(!m_database->sumMonthFees(1, QString::fromLatin1(text)).has_value(), text);
        QVERIFY(!m_database->sumMonthFees(2, QStringLiteral("5")).has_value());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 6);
    }

    void resultTablesOfEarlierRunsAreReplaced()
    {
        RawDatabase(m_path).exec("CREATE TABLE Entgeld1 AS SELECT 999 AS Entgeld1;"
                                 "CREATE TABLE Monat1 AS SELECT 999 AS Kosten1;");
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 1), QStringLiteral("1,50 €")));
        QCOMPARE(m_database->sumAllFees(1), 15000);
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("5")), 15000);
        QVERIFY(!m_database->sumMonthFees(1, QStringLiteral("6")).has_value());
        QCOMPARE(m_database->sumAllFees(1), 15000);

        m_database.reset(); // the run ends
        RawDatabase raw(m_path);
        QCOMPARE(raw.value("SELECT Entgeld1 FROM Entgeld1"), 15000);
        QCOMPARE(raw.value("SELECT count(*) FROM Monat1"), 1);
        QVERIFY(!raw.value("SELECT Kosten1 FROM Monat1").isValid());
    }

    void totalsGrowFromTheStoredValues()
    {
        RawDatabase(m_path).exec("UPDATE client1stat SET Nutzungszeit = 32767, Entgeld = 50000;"
                                 "UPDATE client2stat SET Nutzungszeit = NULL, Entgeld = NULL;");
        QVERIFY(!m_database->open(m_path));
        const std::optional<UsageTotals> past
            = record(1, recordWithFee(QStringLiteral("0,20 €")), 120).totals;
        QVERIFY(past.has_value());
        QCOMPARE(past->minutes, 32769);
        QCOMPARE(past->feeUnits, 52000);
        QCOMPARE(m_database->readTotalMinutes(1), 32769);

        const std::optional<UsageTotals> fromEmpty
            = record(2, recordWithFee(QStringLiteral("0,20 €")), 120).totals;
        QVERIFY(fromEmpty.has_value());
        QCOMPARE(fromEmpty->minutes, 2);
        QCOMPARE(fromEmpty->feeUnits, 2000);
    }

    // An operator correcting money in the database shell types euros with decimals.
    void decimalMoneyFromTheShellReadsAsEuros()
    {
        QProcess shell;
        shell.start(QStringLiteral("sqlcipher"), {m_path});
        shell.write("PRAGMA key = 'qrtdb52';"
                    "UPDATE client1stat SET Entgeld = 1.05;"
                    "INSERT INTO client1 VALUES ('14:00:00', '14:10:30', '00:10:30', 1.05, 5);"
                    "INSERT INTO client1 VALUES ('15:00:00', '15:10:30', '00:10:30', '2,50', 5);"
                    "INSERT INTO client1 VALUES ('16:00:00', '16:10:30', '00:10:30', 10500, 5);"
                    "INSERT INTO client1 VALUES ('17:00:00', '17:00:01', '00:00:01', 0.0001, 6);");
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 0);

        QVERIFY(!m_database->open(m_path));
        QCOMPARE(m_database->readTotalFees(1), 10500);
        QCOMPARE(m_database->sumAllFees(1), 10500 + 25000 + 10500 + 1);
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("5")), 46000);
        QCOMPARE(m_database->sumMonthFees(1, QStringLiteral("6")), 1);
        const std::optional<XlsSheetData> table = m_database->exportStation(1);
        QList<double> exported;
        for (const QVariantList &row : table->rows)
            exported.append(row[3].toDouble());
        QCOMPARE(exported, QList<double>({1.05, 2.5, 1.05, 0.0001}));
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630).totals->feeUnits, 21000);
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
        QCOMPARE(m_database->stationsWithoutTotals(), QList<int>({2}));
        const RecordOutcome frozen = record(1, recordWithFee(QStringLiteral("1,05 €")), 630);
        QCOMPARE(frozen.kind, RecordOutcome::Refused);
        QVERIFY2(frozen.error.endsWith(QStringLiteral("(frozen)")), qPrintable(frozen.error));
        QCOMPARE(record(1, recordWithFee(QStringLiteral("kostenlos")), 630).kind,
                 RecordOutcome::Refused);
        // Without its totals row a station's records are still kept.
        const RecordOutcome untotalled = record(2, recordWithFee(QStringLiteral("1,05 €")), 630);
        QCOMPARE(untotalled.kind, RecordOutcome::Written);
        QVERIFY(!untotalled.totals.has_value());

        RawDatabase raw(m_path);
        QCOMPARE(raw.value("SELECT count(*) FROM client1"), 0);
        QCOMPARE(raw.value("SELECT count(*) FROM client2"), 1);
        QCOMPARE(raw.value("SELECT count(*) FROM client2stat"), 0);
        QCOMPARE(raw.value("SELECT Nutzungszeit FROM client1stat"), 0);
        // Nothing is left half done: the next period is stored in full.
        raw.exec("DROP TRIGGER frozen");
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630).totals->minutes, 10);
        QCOMPARE(raw.value("SELECT count(*) FROM client1"), 1);
    }

    void openPeriodsAreRecordedOnce()
    {
        QVERIFY(!m_database->open(m_path));
        const UsageRecord usage = recordWithFee(QStringLiteral("1,05 €"));
        const StoppedPeriod first = stoppedPeriod(1, usage, 630, 5);
        const StoppedPeriod second = stoppedPeriod(2, usage, 630, 5);
        QVERIFY(!m_database->saveOpenPeriod(first.period));
        QVERIFY(!m_database->saveOpenPeriod(second.period));
        QCOMPARE(m_database->openPeriods().size(), 2);
        QCOMPARE(m_database->openPeriods().first().begin, first.period.begin);

        // Recorded: the open period ends in the same step.
        QCOMPARE(m_database->recordPeriod(first).kind, RecordOutcome::Written);
        QCOMPARE(m_database->openPeriods().size(), 1);
        QVERIFY(m_database->recordedPeriods().isEmpty());
        // Recorded with a mark: a second copy of it is not recorded again.
        QCOMPARE(m_database->recordPeriod(second, true).kind, RecordOutcome::Written);
        QCOMPARE(m_database->recordedPeriods(), QStringList({second.period.id}));
        QCOMPARE(m_database->recordPeriod(second, true).kind, RecordOutcome::WrittenEarlier);
        QVERIFY(m_database->openPeriods().isEmpty());
        QVERIFY(m_database->forgetRecorded(second.period.id));
        QVERIFY(m_database->recordedPeriods().isEmpty());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 1);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client2"), 1);
    }

    // What the side file holds is written once, even when a run wrote it and ended
    // before it could empty the side file.
    void sideFileKeepsPeriodsAcrossRuns()
    {
        StoreFaults faults;
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        QCOMPARE(QFileInfo(sideFile).fileName(), QStringLiteral("kavo.nachtrag"));
        StoppedPeriod stopped;
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QSignalSpy problems(&ledger, &UsageLedger::problem);
            faults.set(StoreFaults::Fault::DiskFull);
            // Started and stopped while the database takes nothing.
            const OpenPeriod period
                = ledger.begin(2, QDateTime(QDate(2004, 5, 12), QTime(14, 0)), 10);
            QVERIFY(QFile::exists(sideFile));
            stopped = {period, recordWithFee(QStringLiteral("1,05 €")), 630, 5};
            ledger.finish(stopped);
            QCOMPARE(problems.size(), 1);
            QCOMPARE(ledger.pendingCount(), 1);
            faults.set(StoreFaults::Fault::None);
        }
        // The run that wrote the record ended before it could empty the side file.
        QCOMPARE(m_database->recordPeriod(stopped, true).kind, RecordOutcome::Written);
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QCOMPARE(ledger.pendingCount(), 0);
            QVERIFY(!ledger.openPeriod(2));
        }
        QVERIFY(!QFile::exists(sideFile));
        QVERIFY(m_database->recordedPeriods().isEmpty());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client2"), 1);

        // A start only the side file took is shown again by the next run and billed once.
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            faults.set(StoreFaults::Fault::DiskFull);
            ledger.begin(1, QDateTime(QDate(2004, 5, 12), QTime(15, 0)), 0);
            faults.set(StoreFaults::Fault::None);
        }
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            const std::optional<OpenPeriod> left = ledger.openPeriod(1);
            QVERIFY(left.has_value());
            QCOMPARE(left->startText, QStringLiteral("15:00:00"));
            ledger.finish({*left, recordWithFee(QStringLiteral("0,50 €")), 300, 5});
            QCOMPARE(ledger.pendingCount(), 0);
        }
        QVERIFY(!QFile::exists(sideFile));
        UsageLedger afterwards(*m_database, sideFile, demoTariffs);
        QVERIFY(!afterwards.recover());
        QVERIFY(!afterwards.openPeriod(1));
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 1);

        // A side file that can't be read is kept as it is under a name of its own, and told.
        QFile garbled(sideFile);
        QVERIFY(garbled.open(QIODevice::WriteOnly));
        garbled.write("{\"perioden\": [");
        garbled.close();
        UsageLedger unreadable(*m_database, sideFile, demoTariffs);
        QSignalSpy told(&unreadable, &UsageLedger::problem);
        QVERIFY(!unreadable.recover());
        QCOMPARE(contents(sideFile + QStringLiteral(".unlesbar")), QByteArray("{\"perioden\": ["));
        QVERIFY(!QFile::exists(sideFile));
        QCOMPARE(told.size(), 1);
        QVERIFY(told[0][0].toString().contains(QStringLiteral("kavo.nachtrag.unlesbar")));
    }

    // Entries that can't be billed as they stand never block the good ones, are never
    // dropped, and are named; a start whose record was written is settled with its marker.
    void unreadableEntriesAreKeptAsideAndTheRestWritten()
    {
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        const StoppedPeriod written
            = stoppedPeriod(2, recordWithFee(QStringLiteral("1,05 €")), 630, 5);
        QVERIFY(!m_database->saveOpenPeriod(written.period));
        QCOMPARE(m_database->recordPeriod(written, true).kind, RecordOutcome::Written);
        const auto entry = [](int station, const QString &fee, const QString &seconds,
                              const QString &end = QStringLiteral("14:10:30"),
                              const QString &more = QString()) {
            return QStringLiteral(
                       "{\"periode\": \"%1\", \"station\": %2, \"beginn\": "
                       "\"2004-05-12T14:00:00.000+02:00\","
                       " \"startzeit\": \"14:00:00\", \"intervall\": 0, \"start\": \"14:00:00\","
                       " \"ende\": \"%5\", \"dauer\": \"%6\", \"kosten\": \"%3\","
                       " \"sekunden\": %4, \"monat\": 5%7}")
                .arg(QUuid::createUuid().toString(), QString::number(station), fee, seconds, end,
                     QStringLiteral("00:") + end.mid(3), more);
        };
        const QStringList entries = {
            entry(1, QStringLiteral("1,70 EUR"), "630"), entry(33, QStringLiteral("5,00 €"), "630"),
            entry(1, QStringLiteral("-999,50 €"), "630"), entry(1, QStringLiteral("1,05 €"), "-5"),
            // A second billed as much as 9.999,99 €, and a length of 9e18 seconds.
            entry(1, QStringLiteral("9.999,99 €"), "1", QStringLiteral("14:00:01")),
            entry(1, QStringLiteral("1,05 €"), "9e18"), entry(1, QStringLiteral("1,05 €"), "630"),
            // Written under other tariffs than those in force now.
            entry(1, QStringLiteral("2,10 €"), "630", QStringLiteral("14:10:30"),
                  QStringLiteral(", \"tarife\": [\"3,00\", \"2,00\", \"1,00\"]")),
            QStringLiteral("{\"periode\": \"%1\", \"station\": 2, \"beginn\": \"%2\","
                           " \"startzeit\": \"14:00:00\", \"intervall\": 0}")
                .arg(written.period.id, written.period.beginText())};
        QFile file(sideFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("{\"perioden\": [" + entries.join(QLatin1Char(',')) + "]}").toUtf8());
        file.close();
        QVERIFY(RawDatabase(m_path).exec(
            "INSERT INTO Perioden VALUES ('x', 9, 'gestern', '14:00:00', 0, 0)"));

        UsageLedger ledger(*m_database, sideFile, demoTariffs);
        QSignalSpy told(&ledger, &UsageLedger::problem);
        QVERIFY(!ledger.recover());
        QCOMPARE(ledger.pendingCount(), 0);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 2);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client1stat"), 315'00);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM Perioden"), 0);
        QVERIFY(!QFile::exists(sideFile));
        const QString aside = QFileInfo(m_path).dir().filePath(QStringLiteral("kavo.abgelegt"));
        const QJsonArray kept
            = QJsonDocument::fromJson(contents(aside)).object().value("perioden").toArray();
        QCOMPARE(kept.size(), 7);
        QCOMPARE(kept[4].toObject().value("grund").toString(),
                 QStringLiteral("Betrag passt nicht zu Dauer und Tarif"));
        QCOMPARE(kept[5].toObject().value("grund").toString(),
                 QStringLiteral("Dauer länger als 7 Tage"));
        QCOMPARE(told.size(), 1);
        const QString text = told[0][0].toString();
        QVERIFY2(text.contains(QStringLiteral("kavo.abgelegt"))
                     && text.contains(QStringLiteral("1,70 EUR"))
                     && text.contains(QStringLiteral("Station 9, Beginn gestern")),
                 qPrintable(text));
    }

    // A start neither the database nor the side file took is saved once the
    // database takes it again; of two periods left open on a station only the later
    // goes on, and the earlier is settled for good.
    void heldStartsAreSavedAndOnlyTheLatestPeriodGoesOn()
    {
        StoreFaults faults;
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            ledger.setRetryInterval(10);
            faults.set(StoreFaults::Fault::DiskFull);
            QVERIFY(QDir().mkdir(sideFile));
            QSignalSpy told(&ledger, &UsageLedger::problem);
            ledger.begin(1, QDateTime(QDate(2004, 5, 12), QTime(13, 0)), 0);
            QCOMPARE(told.size(), 1);
            faults.set(StoreFaults::Fault::None);
            QVERIFY(QDir().rmdir(sideFile));
            QTRY_COMPARE(m_database->openPeriods().size(), 1);
        }
        QVERIFY(!m_database->saveOpenPeriod({QStringLiteral("later"), 1,
                                             QDateTime(QDate(2004, 5, 12), QTime(14, 0)),
                                             QStringLiteral("14:00:00"), 0}));
        for (int run = 0; run < 2; ++run) {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QCOMPARE(ledger.openPeriod(1).value_or(OpenPeriod()).id, QStringLiteral("later"));
            QCOMPARE(m_database->openPeriods().size(), 1);
        }
        QVERIFY(QFile::exists(QFileInfo(m_path).dir().filePath(QStringLiteral("kavo.abgelegt"))));
    }

    // A total typed by hand that reads as no amount is never overwritten; only an
    // empty field counts as zero.
    void unreadableTotalIsLeftAsTyped()
    {
        QVERIFY(!m_database->open(m_path));
        for (const char *typed : {"'12,50 EUR'", "'1 234,50'", "'abc'"}) {
            QVERIFY(
                RawDatabase(m_path).exec(QByteArray("UPDATE client1stat SET Entgeld = ") + typed));
            QCOMPARE(m_database->stationsWithUnreadableTotals(), QList<int>{1});
            const RecordOutcome outcome = record(1, recordWithFee(QStringLiteral("1,05 €")), 630);
            QCOMPARE(outcome.kind, RecordOutcome::Written);
            QVERIFY(outcome.totalsUnreadable && !outcome.totals);
            QVERIFY(!m_database->readTotalFees(1));
        }
        QVERIFY(RawDatabase(m_path).exec("UPDATE client1stat SET Entgeld = ''"));
        QVERIFY(m_database->stationsWithUnreadableTotals().isEmpty());
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630).totals->feeUnits, 105'00);
    }

    void openRefusesBrokenFiles()
    {
        const QString missing = m_dir->filePath(QStringLiteral("fehlt.mde"));
        QString error = m_database->open(missing).text();
        QVERIFY(error.contains(QStringLiteral("fehlt.mde")));
        QVERIFY(!QFile::exists(missing));

        const QString otherKey = m_dir->filePath(QStringLiteral("anders.mde"));
        RawDatabase(otherKey, "geheim").exec("CREATE TABLE client1 (x)");
        error = m_database->open(otherKey).text();
        QVERIFY2(
            error.startsWith(QStringLiteral("Die Datei %1 ist keine Kavo-Datenbank").arg(otherKey)),
            qPrintable(error));

        RawDatabase(m_path).exec("DROP TABLE client2stat");
        error = m_database->open(m_path).text();
        QVERIFY2(error.startsWith(QStringLiteral("Der Datenbank %1 fehlt eine Tabelle").arg(m_path))
                     && error.endsWith(QStringLiteral("(no such table: client2stat)")),
                 qPrintable(error));

        RawDatabase(m_path).exec("CREATE TABLE client2stat (Nutzungszeit INTEGER);");
        error = m_database->open(m_path).text();
        QVERIFY2(error.endsWith(QStringLiteral("(no such column: Entgeld)")), qPrintable(error));
        QVERIFY(!m_database->readTotalMinutes(1).has_value());
        QCOMPARE(record(1, recordWithFee(QStringLiteral("1,05 €")), 630).kind,
                 RecordOutcome::Refused);
    }

    void existingFilesAreNeverOverwritten()
    {
        const QByteArray before = contents(m_path);
        const Failure failure = UsageDatabase::create(m_path);
        QVERIFY(failure);
        QVERIFY(!failure.text().isEmpty());
        QCOMPARE(contents(m_path), before);

        const QString tool = QStringLiteral(KAVO_TOOLS_DIR "/create_usage_db");
        QProcess process;
        process.start(tool, {m_dir->path(), QStringLiteral("neu")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        const QString made = UsageDatabase::pathFor(m_dir->path(), QStringLiteral("neu"));
        QVERIFY(!UsageDatabase().open(made));

        const QByteArray fresh = contents(made);
        process.start(tool, {m_dir->path(), QStringLiteral("neu")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardError().isEmpty());
        QCOMPARE(contents(made), fresh);
    }

    // A start takes a file as sound without reading every page only while it is byte
    // for byte as it was when a close last found its pages sound: damage after the
    // close, or while a connection holds the pages, is found all the same.
    void damageIsFoundThoughTheFileWasFoundSoundBefore()
    {
        const auto damage = [](const QString &path) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(1024 + 512); // in the page of the records of station 1
            file.write(QByteArray(64, '\x5a'));
        };
        const QString other = m_dir->filePath(QStringLiteral("zweite.mde"));
        QVERIFY(!UsageDatabase::create(other));
        for (const QString &path : {m_path, other}) {
            m_database = std::make_unique<UsageDatabase>();
            QVERIFY(!m_database->open(path));
            QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,05 €")));
            if (path == m_path) {
                m_database.reset();
                QVERIFY(QFile::exists(UsageDatabase::checkedMarkPathFor(path)));
                damage(path);
            } else {
                QCOMPARE(m_database->exportStation(1)->rows.size(), 1);
                damage(path);
                m_database.reset();
                QVERIFY(!QFile::exists(UsageDatabase::checkedMarkPathFor(path)));
            }
            m_database = std::make_unique<UsageDatabase>();
            const QString error = m_database->open(path).text();
            QVERIFY2(error.contains(QStringLiteral("beschädigt")), qPrintable(error));
        }
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
        const char *outsideRecord = "INSERT INTO client1 VALUES ('9:00:00', '9:10:00', '00:10:00',"
                                    " 10000, 5)";
        reopen();
        QVERIFY(!m_database->sumAllFees(1).has_value());
        QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,50 €")));
        QCOMPARE(m_database->sumAllFees(1), 15000);
        QVERIFY(!m_database->sumAllFees(2).has_value());
        m_database.reset();
        QVERIFY(markNamesSums());
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld1 FROM Entgeld1"), 15000);

        reopen();
        QCOMPARE(m_database->sumAllFees(1), 15000);
        QVERIFY(!m_database->sumAllFees(2).has_value());
        QVERIFY(recordOn(2, QDate(2004, 5, 3), QStringLiteral("2,00 €")));
        RawDatabase(m_path).exec(outsideRecord); // while the console runs
        m_database.reset();
        QVERIFY(!markNamesSums());

        reopen();
        QCOMPARE(m_database->sumAllFees(1), 25000);
        QCOMPARE(m_database->sumAllFees(2), 20000);
        m_database.reset();
        QVERIFY(markNamesSums());
        RawDatabase(m_path).exec(outsideRecord); // between two runs
        reopen();
        QCOMPARE(m_database->sumAllFees(1), 35000);
    }

    // A database for more stations than two: made at once, or by adding to an
    // existing one the stations it lacks, and refused by a console that serves more.
    void databaseForMoreStations()
    {
        const QString four = m_dir->filePath(QStringLiteral("vier.mde"));
        QVERIFY(!UsageDatabase::create(four, 4));
        const QByteArray tables = "SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                  " AND name GLOB 'client[0-9]*'";
        QCOMPARE(RawDatabase(four).value(tables), 8);
        QCOMPARE(RawDatabase(four).value("SELECT Entgeld FROM client4stat"), 0);

        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,05 €")));
        QVERIFY(recordOn(2, QDate(2004, 6, 3), QStringLiteral("2,10 €")));
        const std::optional<XlsSheetData> before = m_database->exportStation(1);
        QCOMPARE(m_database->open(m_path, 4).text(),
                 QStringLiteral("Der Datenbank %1 fehlen die Tabellen der Stationen 3 und 4. Sie"
                                " werden angelegt mit: create_usage_db %2 kavo 4")
                     .arg(m_path, m_dir->path()));
        QCOMPARE(UsageDatabase::stationsText({3, 5, 6, 7, 9, 10}),
                 QStringLiteral("Stationen 3, 5 bis 7, 9 und 10"));
        QCOMPARE(UsageDatabase::stationsText({12}), QStringLiteral("Station 12"));

        const QString tool = QStringLiteral(KAVO_TOOLS_DIR "/create_usage_db");
        QProcess process;
        for (const char *wrong : {"0", "33", "drei"}) {
            process.start(tool,
                          {m_dir->path(), QStringLiteral("kavo"), QString::fromLatin1(wrong)});
            QVERIFY(process.waitForFinished());
            QCOMPARE(process.exitCode(), 2);
            QVERIFY(process.readAllStandardError().startsWith("Aufruf: create_usage_db"));
        }
        process.start(tool, {m_dir->path(), QStringLiteral("kavo"), QStringLiteral("4")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(process.readAllStandardOutput().contains("Tabellen der Stationen 3 und 4"),
                 "the tool names what it added");
        QCOMPARE(RawDatabase(m_path).value(tables), 8);

        QVERIFY(!m_database->open(m_path, 4));
        QCOMPARE(m_database->exportStation(1)->rows, before->rows);
        QCOMPARE(m_database->readTotalFees(1), 105'00);
        QCOMPARE(m_database->readTotalFees(2), 210'00);
        QVERIFY(recordOn(3, QDate(2004, 7, 3), QStringLiteral("3,15 €")));
        QCOMPARE(RawDatabase(m_path).value("SELECT client3kosten FROM client3"), 315'00);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client3stat"), 315'00);
        QCOMPARE(m_database->listMonths(3), QStringList{QStringLiteral("7")});
        QCOMPARE(m_database->sumAllFees(3), 315'00);
        QCOMPARE(m_database->sumMonthFees(3, QStringLiteral("7")), 315'00);
        QCOMPARE(m_database->listMonths(4), QStringList());

        process.start(tool, {m_dir->path(), QStringLiteral("kavo"), QStringLiteral("4")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(UsageDatabaseTest)
#include "tst_usagedatabase.moc"

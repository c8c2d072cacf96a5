#pragma once

#include "XlsWriter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

struct sqlite3;

// One usage record as the station panel shows it after a stop.
struct UsageRecord
{
    QString start;    // 14:00:00
    QString end;      // 14:10:30
    QString duration; // 00:10:30
    QString fee;      // 1,05 €
};

// A station's running totals after an update.
struct UsageTotals
{
    qint64 minutes = 0;
    qint64 feeUnits = 0; // ten-thousandths of a euro
};

// The encrypted usage database: per station N (1 or 2) the table clientN of usage
// records and the table clientNstat holding the one row of running totals. Fees are
// stored as whole ten-thousandths of a euro, so every sum is exact. The database
// is opened once and kept open; every operation after opening skips what fails
// without a message and reports nothing or false.
class UsageDatabase
{
public:
    static constexpr const char *password = "qrtdb52";

    static QString pathFor(const QString &programDir, const QString &dbName);

    // "DB Name" names a file in the program directory: a directory part, ".." or a
    // path separator would reach a file elsewhere, and is refused with a reason.
    static bool checkName(const QString &dbName, QString *error);

    // Makes a new database with both stations' tables and zero totals. Never
    // touches an existing file.
    static bool create(const QString &path, QString *error);

    UsageDatabase();
    ~UsageDatabase();
    UsageDatabase(const UsageDatabase &) = delete;
    UsageDatabase &operator=(const UsageDatabase &) = delete;

    // Opens an existing database read-write and checks its four tables. A missing
    // file is never created; on failure `error` holds the reason.
    bool open(const QString &path, QString *error);

    // Appends the record, stamped with the current month, and adds the period's
    // whole minutes and the fee to the totals, all or nothing, on disk before it
    // returns. Gives back the new totals.
    std::optional<UsageTotals> recordPeriod(int station, const UsageRecord &record,
                                            qint64 durationSeconds);

    std::optional<qint64> readTotalMinutes(int station);
    std::optional<qint64> readTotalFees(int station); // ten-thousandths of a euro

    // Sum of all fees of the station, left in the table EntgeldN (column EntgeldN).
    std::optional<qint64> sumAllFees(int station);

    // The months that occur in the station's records, ascending, as texts.
    QStringList listMonths(int station);

    // Sum of the fees of the records whose month reads exactly `monthText`, left
    // in the table MonatN (column KostenN).
    std::optional<qint64> sumMonthFees(int station, const QString &monthText);

    // Whole minutes of the records whose month reads exactly `monthText`.
    std::optional<qint64> sumMonthMinutes(int station, const QString &monthText);

    // All rows of the station's table in stored order, under the table's own column
    // names, ready for a workbook: texts stay texts, the month is an integer and the
    // fee a number of euros. Nothing when the table can't be read.
    std::optional<XlsSheetData> exportStation(int station);

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };

    bool connect(const QString &path, QString *error);
    bool checkTables(QString *error);
    bool checkWritable(const QString &path, QString *error);
    bool makeTables(QString *error);
    bool appendRecord(int station, const UsageRecord &record, qint64 feeUnits);
    std::optional<UsageTotals> addToTotals(int station, qint64 minutes, qint64 feeUnits);
    void replaceResultTable(const QString &table, const QString &select, const QStringList &parameters = {});
    std::optional<qint64> readSingleValue(const QString &select);

    std::unique_ptr<sqlite3, Closer> m_db;
};

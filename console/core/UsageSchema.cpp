#include "UsageSchema.h"

#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "UsageDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>

using SqlRun::exec;
using SqlRun::forStation;

namespace {
QString recordColumnsQuery(int station)
{
    return forStation(
        "SELECT client%1start, client%1ende, client%1dauer, client%1kosten, client%1datum"
        " FROM client%1",
        station);
}

QString totalsColumnsQuery(int station)
{
    return forStation("SELECT Nutzungszeit, Entgeld FROM client%1stat", station);
}

// The columns added after the first five: the start and the stop as local date and
// time with the offset from UTC, the operator and the record's number, consecutive
// across the database; the station a period moved from, and the seconds it was
// paused. Records written before have them empty.
struct DateColumn
{
    const char *name;
    const char *type;
};
constexpr DateColumn dateColumns[] = {
    {"client%1von", "TEXT"},       {"client%1bis", "TEXT"},         {"client%1bediener", "TEXT"},
    {"client%1nummer", "INTEGER"}, {"client%1herkunft", "INTEGER"}, {"client%1pause", "INTEGER"},
};

// What an open period carries beyond its start and interval: the station it began
// on before it moved, the seconds of its pauses so far, and since when it is paused.
constexpr DateColumn periodColumns[] = {
    {"Herkunft", "INTEGER"},
    {"Pause", "INTEGER"},
    {"PauseSeit", "TEXT"},
};

// The records of a day or a month are found by their stop, with their fees; the
// undated ones (no stop) by their month number.
QString dayIndexOf(int station)
{
    return forStation("CREATE INDEX IF NOT EXISTS client%1tag ON client%1"
                      " (client%1bis, client%1datum, client%1kosten);",
                      station);
}

// The day's and the shift's closings, numbered consecutively, with their figures as
// JSON and the fingerprint of their records.
const QString closingsTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS Abschluesse (Nummer INTEGER PRIMARY KEY, Art TEXT NOT NULL,"
    " Von TEXT NOT NULL, Bis TEXT NOT NULL, Erstellt TEXT NOT NULL, Bediener TEXT,"
    " Zahlen TEXT NOT NULL, Fingerabdruck TEXT NOT NULL);");

// The takings of every day and station, kept by triggers on the stations' tables so
// that a range of days reads a row a day instead of its records. The triggers use
// plain SQL only, as a console of an earlier kind or the database shell writes
// records too, and they must never refuse such a write. A fee that plain SQL can't
// read (euros with decimals, typed by hand) counts in Unsicher: such a day is read
// from its records. Summe has no type, so that a sum beyond 64 bits stays the
// engine's real number, which is never taken for a sum either.
const QString daySumsTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS Tagessummen (Station INTEGER NOT NULL, Tag TEXT NOT NULL,"
    " Summe, Unsicher INTEGER NOT NULL, PRIMARY KEY (Station, Tag)) WITHOUT ROWID;");

// The day a record's stop falls on as the range finds it (its text from the day's
// date up to the date followed by '~'); null for an undated record.
QString dayOfRow(const char *row, int station)
{
    return forStation("CASE WHEN typeof(%2.client%1bis) = 'text'"
                      " AND substr(%2.client%1bis, 11, 1) < '~'"
                      " THEN substr(%2.client%1bis, 1, 10) END",
                      station)
        .arg(QLatin1String(row));
}

// A record's fee in ten-thousandths of a euro where plain SQL reads it as the console
// does: whole numbers and their digits as text; nothing (null) for any other form.
QString unitsOfRow(const char *row, int station)
{
    return forStation("CASE typeof(%2.client%1kosten) WHEN 'integer' THEN %2.client%1kosten"
                      " WHEN 'null' THEN 0 WHEN 'text' THEN CASE"
                      " WHEN length(%2.client%1kosten) BETWEEN 1 AND 18"
                      " AND %2.client%1kosten NOT GLOB '*[^0-9]*'"
                      " THEN CAST(%2.client%1kosten AS INTEGER) END END",
                      station)
        .arg(QLatin1String(row));
}

// Adds (`sign` "+") or takes off ("-") the fee of the row `row` to its day's sum.
QString daySumStep(const char *row, const char *sign, int station)
{
    const QString day = dayOfRow(row, station);
    const QString units = unitsOfRow(row, station);
    return QStringLiteral("INSERT OR IGNORE INTO Tagessummen (Station, Tag, Summe, Unsicher)"
                          " SELECT %1, %2, 0, 0 WHERE %2 IS NOT NULL;"
                          " UPDATE Tagessummen SET Summe = Summe %3 ifnull(%4, 0),"
                          " Unsicher = Unsicher %3 (%4 IS NULL) WHERE Station = %1 AND Tag = %2;")
        .arg(QString::number(station), day, QLatin1String(sign), units);
}

constexpr const char *daySumTriggers[]
    = {"client%1summe_neu", "client%1summe_weg", "client%1summe_um"};

// The station's triggers made anew and its sums counted from its records: a file of
// an earlier kind, or a station whose triggers are missing. The sum of a day whose
// fees add up beyond what a double holds exactly stays null, never trusted.
QString daySumsOf(int station)
{
    QString statements;
    for (const char *trigger : daySumTriggers)
        statements
            += QStringLiteral("DROP TRIGGER IF EXISTS %1;").arg(forStation(trigger, station));
    return statements
        + forStation("DELETE FROM Tagessummen WHERE Station = %1;"
                     "INSERT INTO Tagessummen (Station, Tag, Summe, Unsicher)"
                     " SELECT %1, tag, CASE WHEN total(abs(fee * 1.0)) < 4e15"
                     " THEN CAST(total(fee) AS INTEGER) END, sum(fee IS NULL)"
                     " FROM (SELECT %2 AS tag, %3 AS fee FROM client%1 AS r"
                     " WHERE r.client%1bis IS NOT NULL) WHERE tag IS NOT NULL GROUP BY tag;",
                     station)
              .arg(dayOfRow("r", station), unitsOfRow("r", station))
        + forStation("CREATE TRIGGER client%1summe_neu AFTER INSERT ON client%1"
                     " WHEN new.client%1bis IS NOT NULL BEGIN %2 END;",
                     station)
              .arg(daySumStep("new", "+", station))
        + forStation("CREATE TRIGGER client%1summe_weg AFTER DELETE ON client%1"
                     " WHEN old.client%1bis IS NOT NULL BEGIN %2 END;",
                     station)
              .arg(daySumStep("old", "-", station))
        + forStation("CREATE TRIGGER client%1summe_um AFTER UPDATE OF client%1bis, client%1kosten"
                     " ON client%1 BEGIN %2 %3 END;",
                     station)
              .arg(daySumStep("old", "-", station), daySumStep("new", "+", station));
}

// What the day sums of the stations lack: the table, and the triggers of a station
// that has not all of them. Empty when nothing does.
QString daySumsMissing(sqlite3 *db, const QList<int> &stations)
{
    SqlStatement query(db,
                       QStringLiteral("SELECT lower(name) FROM sqlite_master"
                                      " WHERE type IN ('table', 'trigger')"));
    QStringList present;
    while (query.next())
        present.append(query.text(0).value_or(QString()));
    // A table dropped by hand is made anew with the sums of every station.
    const bool table = present.contains(QStringLiteral("tagessummen"));
    QString missing = table ? QString() : daySumsTable;
    for (int station : stations) {
        const auto has = [&](const char *trigger) {
            return present.contains(forStation(trigger, station).toLower());
        };
        if (!table || !std::all_of(std::begin(daySumTriggers), std::end(daySumTriggers), has))
            missing += daySumsOf(station);
    }
    return missing;
}

QString tablesOf(int station)
{
    QString dated;
    for (const DateColumn &column : dateColumns)
        dated += QStringLiteral(", %1 %2").arg(forStation(column.name, station),
                                               QLatin1String(column.type));
    return forStation("CREATE TABLE client%1 (client%1start TEXT, client%1ende TEXT,"
                      " client%1dauer TEXT, client%1kosten INTEGER, client%1datum INTEGER",
                      station)
        + dated
        + forStation(");"
                     "CREATE INDEX client%1monat ON client%1 (client%1datum, client%1kosten);",
                     station)
        + dayIndexOf(station)
        + forStation("CREATE TABLE client%1stat (Nutzungszeit INTEGER, Entgeld INTEGER);"
                     "INSERT INTO client%1stat (Nutzungszeit, Entgeld) VALUES (0, 0);",
                     station);
}

// Runs the statements in one transaction: all of them or none.
Failure execAtOnce(sqlite3 *db, const QString &statements)
{
    SqlTransaction transaction(db);
    Failure failure = transaction.isOpen() ? exec(db, statements) : Failure(transaction.failure());
    if (!failure && !transaction.commit())
        failure = Failure(transaction.failure());
    return failure;
}

// The columns of a table, in lower case.
QStringList columnsOf(sqlite3 *db, const QString &table)
{
    SqlStatement query(db, QStringLiteral("PRAGMA table_info(%1)").arg(table));
    QStringList columns;
    while (query.next())
        columns.append(query.text(1).value_or(QString()).toLower());
    return columns;
}

// What a file made before records were dated lacks: the columns, the index of the
// stops and the counter of the records' numbers. Empty when it has all of them.
QString datingMissing(sqlite3 *db, const QList<int> &stations)
{
    QString missing;
    for (int station : stations) {
        const QStringList columns = columnsOf(db, forStation("client%1", station));
        for (const DateColumn &column : dateColumns) {
            const QString name = forStation(column.name, station);
            if (!columns.contains(name))
                missing += QStringLiteral("ALTER TABLE client%1 ADD COLUMN %2 %3;")
                               .arg(QString::number(station), name, QLatin1String(column.type));
        }
        if (!SqlRun::singleValue(
                 db,
                 forStation("SELECT count(*) FROM sqlite_master WHERE type = 'index'"
                            " AND name = 'client%1tag' COLLATE NOCASE",
                            station))
                 .value_or(0))
            missing += dayIndexOf(station);
    }
    if (!SqlRun::singleValue(db,
                             QStringLiteral("SELECT count(*) FROM sqlite_master"
                                            " WHERE name = 'Abschluesse' COLLATE NOCASE"))
             .value_or(0))
        missing += closingsTable;
    if (SqlRun::singleValue(db, QStringLiteral("SELECT count(*) FROM Belegnummer")).value_or(0))
        return missing;
    // The count goes on from the highest number a record has already.
    QStringList highest;
    for (int station : stations)
        highest.append(forStation("SELECT max(client%1nummer) AS n FROM client%1", station));
    return missing
        + QStringLiteral("CREATE TABLE IF NOT EXISTS Belegnummer (Zaehler INTEGER PRIMARY KEY, "
                         "Letzte INTEGER);"
                         "INSERT OR IGNORE INTO Belegnummer (Zaehler, Letzte)"
                         " SELECT 1, ifnull(max(n), 0) FROM (%1);")
              .arg(highest.join(QStringLiteral(" UNION ALL ")));
}

// A word of a command line as the shell takes it.
QString shellWord(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
        + QLatin1Char('\'');
}

// The tool that makes and extends databases, by its full path where it is installed
// beside the console, as the package puts it.
QString databaseTool()
{
    const QString name = QStringLiteral("create_usage_db");
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    return QFileInfo(besideProgram).isExecutable() ? QDir::toNativeSeparators(besideProgram) : name;
}
}

UsageSchema::UsageSchema(const SqlConnection &db, const int &stations)
    : m_db(db)
    , m_stations(stations)
{
}

// A station has its tables, or none of them: those are the ones create_usage_db adds.
QList<int> UsageSchema::missingStations(int stations)
{
    QList<int> missing;
    for (int station = 1; station <= stations; ++station) {
        SqlStatement count(m_db.get(),
                           QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN"
                                          " (?1 COLLATE NOCASE, ?2 COLLATE NOCASE)"));
        if (count.bind(1, forStation("client%1", station))
            && count.bind(2, forStation("client%1stat", station)) && count.next()
            && count.integer(0) == 0)
            missing.append(station);
    }
    return missing;
}

Failure UsageSchema::checkStationsPresent(const QString &path)
{
    const QList<int> missing = missingStations(m_stations);
    if (missing.isEmpty())
        return Failure::none();
    const QFileInfo file(path);
    return Failure(
        QStringLiteral("Der Datenbank %1 fehlen die Tabellen der %2. Sie werden angelegt mit:"
                       " %6 %3 %4 %5")
            .arg(QDir::toNativeSeparators(path), UsageDatabase::stationsText(missing),
                 shellWord(QDir::toNativeSeparators(file.absolutePath())),
                 shellWord(file.completeBaseName()), QString::number(m_stations),
                 shellWord(databaseTool())));
}

Failure UsageSchema::checkTables()
{
    for (int station = 1; station <= m_stations; ++station) {
        for (const QString &query : {recordColumnsQuery(station), totalsColumnsQuery(station)}) {
            const SqlStatement probe(m_db.get(), query);
            if (!probe.isValid())
                return Failure(probe.failure());
        }
    }
    return Failure::none();
}

// Perioden of an earlier version gets the columns of moved and paused periods.
Failure UsageSchema::makeOwnTables()
{
    if (Failure failure
        = exec(m_db.get(),
               QStringLiteral(
                   "CREATE TABLE IF NOT EXISTS Perioden (Periode TEXT PRIMARY KEY,"
                   " Station INTEGER,"
                   " Beginn TEXT, Startzeit TEXT, Intervall INTEGER, Abgerechnet INTEGER)")))
        return failure;
    const QStringList columns = columnsOf(m_db.get(), QStringLiteral("Perioden"));
    QString missing;
    for (const DateColumn &column : periodColumns) {
        if (!columns.contains(QString::fromLatin1(column.name).toLower()))
            missing += QStringLiteral("ALTER TABLE Perioden ADD COLUMN %1 %2;")
                           .arg(QLatin1String(column.name), QLatin1String(column.type));
    }
    return missing.isEmpty() ? Failure::none() : execAtOnce(m_db.get(), missing);
}

Failure UsageSchema::makeTables(const QList<int> &stations)
{
    if (stations.isEmpty())
        return Failure::none();
    QString tables = closingsTable + daySumsTable;
    for (int station : stations)
        tables += tablesOf(station) + daySumsOf(station);
    return execAtOnce(m_db.get(), tables);
}

Failure UsageSchema::addDating()
{
    QList<int> served;
    for (int station = 1; station <= m_stations; ++station)
        served.append(station);
    const QString missing = datingMissing(m_db.get(), served) + daySumsMissing(m_db.get(), served);
    return missing.isEmpty() ? Failure::none() : execAtOnce(m_db.get(), missing);
}

// A station above those served was served once and has its tables; where it has
// none, they are made as create_usage_db makes them, and tables of an earlier kind
// get what dates their records.
Failure UsageSchema::prepareUnserved(int station)
{
    if (station <= m_stations)
        return Failure::none();
    if (missingStations(station).contains(station))
        return makeTables({station});
    const QString missing
        = datingMissing(m_db.get(), {station}) + daySumsMissing(m_db.get(), {station});
    return missing.isEmpty() ? Failure::none() : execAtOnce(m_db.get(), missing);
}

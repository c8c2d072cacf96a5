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

QString tablesOf(int station)
{
    return forStation(
        "CREATE TABLE client%1 (client%1start TEXT, client%1ende TEXT, client%1dauer TEXT,"
        " client%1kosten INTEGER, client%1datum INTEGER);"
        "CREATE INDEX client%1monat ON client%1 (client%1datum, client%1kosten);"
        "CREATE TABLE client%1stat (Nutzungszeit INTEGER, Entgeld INTEGER);"
        "INSERT INTO client%1stat (Nutzungszeit, Entgeld) VALUES (0, 0);",
        station);
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

Failure UsageSchema::makeOwnTables()
{
    return exec(
        m_db.get(),
        QStringLiteral("CREATE TABLE IF NOT EXISTS Perioden (Periode TEXT PRIMARY KEY,"
                       " Station INTEGER,"
                       " Beginn TEXT, Startzeit TEXT, Intervall INTEGER, Abgerechnet INTEGER)"));
}

Failure UsageSchema::makeTables(const QList<int> &stations)
{
    if (stations.isEmpty())
        return Failure::none();
    QString tables;
    for (int station : stations)
        tables += tablesOf(station);
    SqlTransaction transaction(m_db.get());
    Failure failure
        = transaction.isOpen() ? exec(m_db.get(), tables) : Failure(transaction.failure());
    if (!failure && !transaction.commit())
        failure = Failure(transaction.failure());
    return failure;
}

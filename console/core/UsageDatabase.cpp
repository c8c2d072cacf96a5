#include "UsageDatabase.h"

#include "SqlFailure.h"
#include "SqlMoney.h"
#include "SqlRun.h"
#include "SqlTransaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

using SqlRun::exec;

namespace {
QList<int> stationsUpTo(int count)
{
    QList<int> stations;
    for (int station = 1; station <= count; ++station)
        stations.append(station);
    return stations;
}

Failure notFound(const QString &path)
{
    return Failure(QStringLiteral("Die Datenbank %1 wurde nicht gefunden.")
                       .arg(QDir::toNativeSeparators(path)));
}

}

UsageDatabase::UsageDatabase() = default;
UsageDatabase::~UsageDatabase()
{
    markChecked();
}

QString UsageDatabase::checkedMarkPathFor(const QString &databasePath)
{
    const QFileInfo database(databasePath);
    return database.dir().filePath(database.completeBaseName() + QStringLiteral(".geprueft"));
}

QString UsageDatabase::pathFor(const QString &programDir, const QString &dbName)
{
    return programDir + QLatin1Char('/') + dbName + QStringLiteral(".mde");
}

QString UsageDatabase::stationsText(const QList<int> &stations)
{
    QStringList parts;
    for (qsizetype first = 0; first < stations.size();) {
        qsizetype last = first;
        while (last + 1 < stations.size() && stations[last + 1] == stations[last] + 1)
            ++last;
        if (last - first >= 2) {
            parts.append(QStringLiteral("%1 bis %2").arg(stations[first]).arg(stations[last]));
        } else {
            for (qsizetype i = first; i <= last; ++i)
                parts.append(QString::number(stations[i]));
        }
        first = last + 1;
    }
    const QString lastPart = parts.takeLast();
    return (stations.size() == 1 ? QStringLiteral("Station ") : QStringLiteral("Stationen "))
        + (parts.isEmpty() ? lastPart
                           : parts.join(QStringLiteral(", ")) + QStringLiteral(" und ") + lastPart);
}

Failure UsageDatabase::checkName(const QString &dbName)
{
    static const QRegularExpression pathPart(QStringLiteral("[/\\\\]|\\.\\.|\\x{0}"));
    if (!dbName.contains(pathPart))
        return Failure::none();
    return Failure(
        QStringLiteral(
            "Der DB Name \"%1\" in Kavo.ini ist kein Dateiname: er darf kein Verzeichnis, "
            "kein \"..\" und kein \"/\" oder \"\\\" enthalten.")
            .arg(dbName));
}

Failure UsageDatabase::create(const QString &path, int stations)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return Failure(file.exists()
                           ? QStringLiteral("Die Datei %1 gibt es schon; sie bleibt unverändert.")
                                 .arg(QDir::toNativeSeparators(path))
                           : file.errorString());
    }
    file.close();
    UsageDatabase database;
    const Failure failure
        = Failure::ofFirst({[&] { return database.connect(path); },
                            [&] { return database.m_schema.makeTables(stationsUpTo(stations)); }});
    if (failure) {
        database.m_db.reset();
        QFile::remove(path);
    }
    return failure;
}

Result<QList<int>> UsageDatabase::addMissingStations(const QString &path, int stations)
{
    if (!QFileInfo(path).isFile()) {
        return notFound(path);
    }
    UsageDatabase database;
    if (Failure failure = database.connect(path))
        return failure;
    const QList<int> missing = database.m_schema.missingStations(stations);
    if (Failure failure = database.m_schema.makeTables(missing))
        return failure;
    return missing;
}

Failure UsageDatabase::open(const QString &path, int stations)
{
    markChecked();
    m_db.reset();
    m_stations = stations;
    m_statistics.forget();
    m_soundness.forget();
    if (!QFileInfo(path).isFile()) {
        return notFound(path);
    }
    const Failure failure = Failure::ofFirst({
        [&] { return connect(path); },
        [&] { return m_schema.checkStationsPresent(path); },
        [&] { return m_schema.checkTables(); },
        [&] { return m_soundness.checkWritable(path); },
        [&] { return m_soundness.checkPages(path); },
        [&] { return m_soundness.checkTakesRecords(path); },
        [&] { return m_schema.makeOwnTables(); },
        [&] { return m_schema.addDating(); },
        [&] { return prepareBook(); },
    });
    if (failure)
        m_db.reset();
    else
        m_soundness.noteOpened();
    return failure;
}

Failure UsageDatabase::connect(const QString &path)
{
    m_path = path;
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
                                       SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(handle);
    if (!handle)
        return Failure(SqlFailure::text(opened, path, QString::fromUtf8(sqlite3_errstr(opened))));
    // A locked file is waited for only briefly, so that the window and the station
    // links go on; a record it refuses is kept and written later.
    sqlite3_busy_timeout(handle, 20);
    Failure failure = opened != SQLITE_OK ? Failure(SqlFailure::of(handle)) : keyed(handle);
    if (!failure)
        failure = exec(handle, QStringLiteral("PRAGMA synchronous = FULL"));
    return failure;
}

Failure UsageDatabase::openReader(const QString &path, SqlConnection &reader)
{
    sqlite3 *handle = nullptr;
    // Used by one thread at a time, it needs no lock of its own around every call.
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    reader.reset(handle);
    if (!handle)
        return Failure(SqlFailure::text(opened, path, QString::fromUtf8(sqlite3_errstr(opened))));
    // A writer of another program is waited for as long as a reader may hold up the
    // window that opens it.
    sqlite3_busy_timeout(handle, 1000);
    return opened != SQLITE_OK ? Failure(SqlFailure::of(handle)) : keyed(handle);
}

// A wrong key shows only when the first page is read.
Failure UsageDatabase::keyed(sqlite3 *db)
{
    return Failure::ofFirst({
        [&] {
            return exec(db,
                        QStringLiteral("PRAGMA key = '%1'; SELECT count(*) FROM sqlite_master")
                            .arg(QLatin1String(password)));
        },
        [&] { return SqlMoney::install(db); },
    });
}

// A station served since the book began gets its columns.
Failure UsageDatabase::prepareBook()
{
    m_chain.refresh();
    for (int station = 1; m_chain.isActive() && station <= m_stations; ++station) {
        if (const Failure failure = m_chain.prepare(station))
            return failure;
    }
    return Failure::none();
}

Failure UsageDatabase::setOwnerPin(const QString &pin)
{
    if (m_chain.isActive())
        return m_roster.setOwnerPin(pin);
    SqlTransaction transaction(m_db.get());
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    const Failure failure = Failure::ofFirst({
        [&] { return m_roster.setOwnerPin(pin); },
        [&] { return exec(m_db.get(), Incidents::tableStatements()); },
        [&] { return exec(m_db.get(), TariffHistory::tableStatements()); },
        [&] { return m_chain.start(); },
    });
    if (failure || !transaction.commit()) {
        m_chain.refresh();
        return failure ? failure : Failure(transaction.failure());
    }
    return Failure::none();
}

// The pages are checked whole once more as the database is closed, and the file as
// found sound is marked for the next start, which then needs to compare it only.
void UsageDatabase::markChecked()
{
    if (!m_db || m_soundness.stillInPlace())
        return;
    const int keptFeeSums = m_soundness.writtenByOthers() ? 0 : m_statistics.keepFeeSums();
    m_soundness.markChecked(keptFeeSums);
}

#include "UsageDatabase.h"

#include "Billing.h"
#include "SqlFailure.h"
#include "SqlMoney.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "TextFormats.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtNumeric>

#include <sqlite3.h>

#include <algorithm>

namespace {
constexpr double unitsPerEuro = 10000.0;

// Fills in the station number for every %1 of a statement or name.
QString forStation(const char *pattern, int station)
{
    return QString::fromLatin1(pattern).arg(station);
}

// Runs statements that give no rows, one after another up to the first that fails.
Failure exec(sqlite3 *db, const QString &sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return Failure::none();
    return Failure(SqlFailure::of(db));
}

// Column names match without regard to case, as table names do.
qsizetype columnIndex(const QStringList &columns, const QString &name)
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

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

QList<int> stationsUpTo(int count)
{
    QList<int> stations;
    for (int station = 1; station <= count; ++station)
        stations.append(station);
    return stations;
}

// The file's bytes in a few words, any change giving other words; empty when the
// file can't be read.
QByteArray fingerprint(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    size_t hash = 0;
    qint64 size = 0;
    qint64 got = 0;
    while ((got = file.read(chunk.data(), chunk.size())) > 0) {
        hash = qHash(QByteArrayView(chunk.constData(), got), hash);
        size += got;
    }
    if (got < 0)
        return {};
    return QByteArray::number(size) + ' ' + QByteArray::number(quint64(hash), 16);
}

bool hasOneRow(sqlite3 *db, const QString &table)
{
    SqlStatement rows(db, QStringLiteral("SELECT count(*) FROM ") + table);
    return rows.next() && rows.integer(0) == 1;
}

// The sum goes into the station's result table in place, so that an unchanged sum
// leaves the file as it is; a table of another shape is made anew.
Failure keepFeeSum(sqlite3 *db, int station, std::optional<qint64> sum)
{
    const QString table = forStation("Entgeld%1", station);
    const QString value = sum ? QString::number(*sum) : QStringLiteral("NULL");
    if (hasOneRow(db, table)) {
        const Failure failure
            = exec(db, QStringLiteral("UPDATE %1 SET %1 = %2 WHERE %1 IS NOT %2").arg(table, value));
        if (!failure)
            return failure;
    }
    return exec(db,
                QStringLiteral("DROP TABLE IF EXISTS %1; CREATE TABLE %1 AS SELECT %2 AS %1")
                    .arg(table, value));
}

// A read transaction: while it lasts, nobody writes to the file.
bool holdReadLock(sqlite3 *db)
{
    if (!exec(db, QStringLiteral("BEGIN; SELECT count(*) FROM sqlite_master")))
        return true;
    if (!sqlite3_get_autocommit(db))
        static_cast<void>(exec(db, QStringLiteral("ROLLBACK")));
    return false;
}

void releaseReadLock(sqlite3 *db)
{
    if (exec(db, QStringLiteral("COMMIT")) && !sqlite3_get_autocommit(db))
        static_cast<void>(exec(db, QStringLiteral("ROLLBACK")));
}

// The mark's lines: the file's fingerprint, then "Entgeld <n>" when the result tables
// of stations 1 to n hold their sums.
QByteArrayList readMark(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(256).trimmed().split('\n') : QByteArrayList();
}

constexpr QByteArrayView feeSumsWord = "Entgeld ";

int vouchedFeeSums(const QByteArrayList &mark)
{
    if (mark.size() < 2 || !mark[1].startsWith(feeSumsWord))
        return 0;
    return std::max(0, mark[1].mid(feeSumsWord.size()).toInt());
}

Failure notFound(const QString &path)
{
    return Failure(QStringLiteral("Die Datenbank %1 wurde nicht gefunden.")
                       .arg(QDir::toNativeSeparators(path)));
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

// Nothing when the statement's work is `done`, else the reason it failed.
Failure unlessDone(bool done, const SqlStatement &statement)
{
    if (done)
        return Failure::none();
    return Failure(statement.failure());
}

RecordOutcome refused(const QString &error)
{
    return {RecordOutcome::Refused, std::nullopt, error};
}

RecordOutcome refused(const Failure &failure)
{
    return refused(failure.text());
}

Failure writePeriodRow(sqlite3 *db, const OpenPeriod &period, bool recorded)
{
    SqlStatement write(
        db,
        QStringLiteral("INSERT OR REPLACE INTO Perioden (Periode, Station, Beginn, Startzeit,"
                       " Intervall, Abgerechnet) VALUES (?1, ?2, ?3, ?4, ?5, ?6)"));
    return unlessDone(write.bind(1, period.id) && write.bind(2, qint64(period.station))
                          && write.bind(3, period.beginText()) && write.bind(4, period.startText)
                          && write.bind(5, qint64(period.intervalMinutes))
                          && write.bind(6, qint64(recorded ? 1 : 0)) && write.run(),
                      write);
}

// Whether a period was recorded before, or why that can't be read.
struct EarlierRecord
{
    bool recorded = false;
    Failure failure;
};

EarlierRecord wasRecorded(sqlite3 *db, const QString &periodId)
{
    SqlStatement query(db, QStringLiteral("SELECT Abgerechnet FROM Perioden WHERE Periode = ?1"));
    if (!query.bind(1, periodId))
        return {false, Failure(query.failure())};
    if (query.next())
        return {query.integer(0) == 1, Failure::none()};
    return {false, unlessDone(query.reachedEnd(), query)};
}

Failure appendRecord(sqlite3 *db, int station, const UsageRecord &record, qint64 feeUnits,
                     int month)
{
    SqlStatement insert(
        db,
        forStation(
            "INSERT INTO client%1 (client%1start, client%1ende, client%1dauer, client%1kosten,"
            " client%1datum) VALUES (?1, ?2, ?3, ?4, ?5)",
            station));
    return unlessDone(insert.bind(1, record.start) && insert.bind(2, record.end)
                          && insert.bind(3, record.duration) && insert.bind(4, feeUnits)
                          && insert.bind(5, qint64(month)) && insert.run(),
                      insert);
}

// The station's totals with a record added. A missing totals row, a total of fees
// that reads as no amount (`unreadable`) or a total that would overflow leaves the
// totals as they are and keeps the record.
struct TotalsUpdate
{
    std::optional<UsageTotals> totals;
    bool unreadable = false;
    Failure failure;
};

TotalsUpdate addToTotals(sqlite3 *db, int station, qint64 minutes, qint64 feeUnits)
{
    TotalsUpdate update;
    SqlStatement read(
        db, forStation("SELECT rowid, Nutzungszeit, Entgeld FROM client%1stat LIMIT 1", station));
    if (!read.next()) {
        update.failure = unlessDone(read.reachedEnd(), read);
        return update;
    }
    // Empty fields count as zero; a total typed by hand that is no amount is never overwritten.
    const std::optional<qint64> storedFees = read.money(2);
    update.unreadable
        = !storedFees && !read.isNull(2) && !read.text(2).value_or(QString()).isEmpty();
    UsageTotals totals;
    if (update.unreadable || qAddOverflow(read.integer(1).value_or(0), minutes, &totals.minutes)
        || qAddOverflow(storedFees.value_or(0), feeUnits, &totals.feeUnits))
        return update;

    SqlStatement write(
        db,
        forStation("UPDATE client%1stat SET Nutzungszeit = ?1, Entgeld = ?2 WHERE rowid = ?3",
                   station));
    if (write.bind(1, totals.minutes) && write.bind(2, totals.feeUnits)
        && write.bind(3, *read.integer(0)) && write.run())
        update.totals = totals;
    else
        update.failure = Failure(write.failure());
    return update;
}

Failure closePeriod(sqlite3 *db, const OpenPeriod &period, bool keepMarker)
{
    if (keepMarker)
        return writePeriodRow(db, period, true);
    SqlStatement close(db, QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1"));
    return unlessDone(close.bind(1, period.id) && close.run(), close);
}
}

void UsageDatabase::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
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
                            [&] { return database.makeTables(stationsUpTo(stations)); }});
    if (failure) {
        database.m_db.reset();
        QFile::remove(path);
    }
    return failure;
}

UsageDatabase::AddedStations UsageDatabase::addMissingStations(const QString &path, int stations)
{
    if (!QFileInfo(path).isFile()) {
        return {{}, notFound(path)};
    }
    UsageDatabase database;
    if (Failure failure = database.connect(path))
        return {{}, failure};
    const QList<int> missing = database.missingStations(stations);
    if (Failure failure = database.makeTables(missing))
        return {{}, failure};
    return {missing, Failure::none()};
}

Failure UsageDatabase::open(const QString &path, int stations)
{
    markChecked();
    m_db.reset();
    m_stations = stations;
    m_allFees.clear();
    m_vouchedFeeSums = 0;
    if (!QFileInfo(path).isFile()) {
        return notFound(path);
    }
    const Failure failure = Failure::ofFirst({
        [&] { return connect(path); },
        [&] { return checkStationsPresent(path); },
        [&] { return checkTables(); },
        [&] { return checkWritable(path); },
        [&] { return checkPages(path); },
        [&] { return checkTakesRecords(path); },
        [&] { return makeOwnTables(); },
    });
    if (failure)
        m_db.reset();
    else
        m_openedDataVersion = dataVersion();
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
    // A wrong key shows only when the first page is read.
    Failure failure = opened != SQLITE_OK
        ? Failure(SqlFailure::of(handle))
        : exec(handle,
               QStringLiteral("PRAGMA key = '%1'; SELECT count(*) FROM sqlite_master;"
                              " PRAGMA synchronous = FULL")
                   .arg(QLatin1String(password)));
    if (!failure && !SqlMoney::install(handle))
        failure = Failure(SqlFailure::of(handle));
    return failure;
}

// A station has its tables, or none of them: those are the ones create_usage_db adds.
QList<int> UsageDatabase::missingStations(int stations)
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

Failure UsageDatabase::checkStationsPresent(const QString &path)
{
    const QList<int> missing = missingStations(m_stations);
    if (missing.isEmpty())
        return Failure::none();
    const QFileInfo file(path);
    return Failure(
        QStringLiteral("Der Datenbank %1 fehlen die Tabellen der %2. Sie werden angelegt mit:"
                       " %6 %3 %4 %5")
            .arg(QDir::toNativeSeparators(path), stationsText(missing),
                 shellWord(QDir::toNativeSeparators(file.absolutePath())),
                 shellWord(file.completeBaseName()), QString::number(m_stations),
                 shellWord(databaseTool())));
}

Failure UsageDatabase::checkTables()
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

// The engine falls back to reading only when the file is write-protected; then
// every stop would lose its record.
Failure UsageDatabase::checkWritable(const QString &path)
{
    if (sqlite3_db_readonly(m_db.get(), "main") == 0)
        return Failure::none();
    return Failure(
        QStringLiteral("Die Datenbank %1 ist schreibgeschützt. Bitte die Rechte der Datei und des"
                       " Programmordners prüfen (Gruppe kavo).")
            .arg(QDir::toNativeSeparators(path)));
}

// Under a read lock, so that nobody writes to the file while it is compared: a file
// byte for byte as it was when its pages were last found sound needs no new check.
Failure UsageDatabase::checkPages(const QString &path)
{
    if (!holdReadLock(m_db.get()))
        return checkPagesWhole(path);
    const QByteArrayList mark = readMark(checkedMarkPathFor(path));
    const bool unchanged = !stillInPlace() && fingerprint(path) == mark.value(0);
    if (unchanged)
        m_vouchedFeeSums = vouchedFeeSums(mark);
    const Failure failure = unchanged ? Failure::none() : checkPagesWhole(path);
    releaseReadLock(m_db.get());
    return failure;
}

// The pages are checked whole once more as the database is closed, and the file as
// found sound is marked for the next start, which then needs to compare it only.
void UsageDatabase::markChecked()
{
    if (!m_db || stillInPlace())
        return;
    const int keptFeeSums = keepFeeSums();
    // The pages are read from the file again, not taken from what this connection holds.
    sqlite3_db_release_memory(m_db.get());
    if (!holdReadLock(m_db.get()))
        return;
    const QString mark = checkedMarkPathFor(m_path);
    QByteArray words = checkPagesWhole(m_path) ? QByteArray() : fingerprint(m_path);
    if (!words.isEmpty() && keptFeeSums > 0)
        words += '\n' + feeSumsWord.toByteArray() + QByteArray::number(keptFeeSums);
    QSaveFile file(mark);
    if (words.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(words + '\n') < 0
        || !file.commit())
        QFile::remove(mark);
    releaseReadLock(m_db.get());
}

// The sums as this run kept them are left in the result tables, where the next start
// finds them as long as the file stays as this close leaves it. Only when every
// station's sum is known and nobody else wrote to the file meanwhile, since the sums
// follow only this run's records. Gives the number of stations whose sums it left.
int UsageDatabase::keepFeeSums()
{
    if (m_allFees.size() != m_stations || !m_openedDataVersion
        || dataVersion() != m_openedDataVersion)
        return 0;
    SqlTransaction transaction(m_db.get());
    for (int station = 1; station <= m_stations; ++station) {
        if (keepFeeSum(m_db.get(), station, m_allFees.value(station)))
            return 0;
    }
    return transaction.commit() ? m_stations : 0;
}

std::optional<qint64> UsageDatabase::dataVersion()
{
    SqlStatement query(m_db.get(), QStringLiteral("PRAGMA data_version"));
    return query.next() ? query.integer(0) : std::nullopt;
}

Failure UsageDatabase::checkPagesWhole(const QString &path)
{
    SqlStatement check(m_db.get(), QStringLiteral("PRAGMA quick_check"));
    QStringList findings;
    while (check.next())
        findings.append(check.text(0).value_or(QString()));
    if (check.reachedEnd() && findings == QStringList{QStringLiteral("ok")})
        return Failure::none();
    const int code = sqlite3_errcode(m_db.get()) & 0xff;
    if (!check.reachedEnd() && (code == SQLITE_BUSY || code == SQLITE_LOCKED))
        return Failure(check.failure());
    // The check's first lines name the damage ("*** in database main ***" only heads them).
    findings.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("***")); });
    const QString finding = check.reachedEnd() && !findings.isEmpty()
        ? findings.mid(0, 3).join(QStringLiteral("; "))
        : QString::fromUtf8(sqlite3_errmsg(m_db.get()));
    return Failure(
        QStringLiteral(
            "Die Datenbank %1 ist beschädigt (%2). Bitte Kavo beenden, die Datei sichern und die"
            " letzte Datensicherung zurückholen.")
            .arg(QDir::toNativeSeparators(path), finding));
}

// A record that is written and rolled back again: a full disk, a directory that
// takes no journal or a lock held by another program show here, not at a stop.
Failure UsageDatabase::checkTakesRecords(const QString &path)
{
    SqlTransaction trial(m_db.get());
    const Failure failure = trial.isOpen()
        ? exec(m_db.get(), QStringLiteral("INSERT INTO client1 (client1start) VALUES ('Probe')"))
        : Failure(trial.failure());
    if (!failure)
        return Failure::none();
    return Failure(QStringLiteral("Die Datenbank %1 nimmt keine Datensätze an. %2")
                       .arg(QDir::toNativeSeparators(path), failure.text()));
}

Failure UsageDatabase::makeOwnTables()
{
    return exec(
        m_db.get(),
        QStringLiteral("CREATE TABLE IF NOT EXISTS Perioden (Periode TEXT PRIMARY KEY,"
                       " Station INTEGER,"
                       " Beginn TEXT, Startzeit TEXT, Intervall INTEGER, Abgerechnet INTEGER)"));
}

QList<int> UsageDatabase::stationsWithUnreadableTotals()
{
    QList<int> unreadable;
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement read(m_db.get(),
                          forStation("SELECT Entgeld FROM client%1stat LIMIT 1", station));
        if (read.next() && !read.isNull(0) && !read.money(0)
            && !read.text(0).value_or(QString()).isEmpty())
            unreadable.append(station);
    }
    return unreadable;
}

QList<int> UsageDatabase::stationsWithoutTotals()
{
    QList<int> missing;
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement count(m_db.get(), forStation("SELECT count(*) FROM client%1stat", station));
        if (count.next() && count.integer(0) == 0)
            missing.append(station);
    }
    return missing;
}

Failure UsageDatabase::makeTables(const QList<int> &stations)
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

// A station above those served was served once and has its tables; where it has
// none, they are made as create_usage_db makes them.
Failure UsageDatabase::tablesOfUnserved(int station)
{
    if (hasStation(station))
        return Failure::none();
    return makeTables(missingStations(station).contains(station) ? QList<int>{station}
                                                                 : QList<int>{});
}

// A file renamed or deleted while the console runs would still take writes that
// the next start never sees; it counts as refusing them.
Failure UsageDatabase::stillInPlace()
{
    int moved = 0;
    if (m_db
        && sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved == 0)
        return Failure::none();
    return Failure(QStringLiteral(
        "Die Datenbankdatei wurde umbenannt, verschoben oder gelöscht; bitte unter ihrem"
        " Namen zurücklegen"));
}

Failure UsageDatabase::saveOpenPeriod(const OpenPeriod &period)
{
    if (Failure moved = stillInPlace())
        return moved;
    return writePeriodRow(m_db.get(), period, false);
}

QList<OpenPeriod> UsageDatabase::openPeriods()
{
    SqlStatement query(
        m_db.get(),
        QStringLiteral("SELECT Periode, Station, Beginn, Startzeit, Intervall FROM Perioden"
                       " WHERE Abgerechnet = 0 ORDER BY Beginn"));
    QList<OpenPeriod> periods;
    while (query.next()) {
        OpenPeriod period{
            query.text(0).value_or(QString()), int(query.integer(1).value_or(0)),
            QDateTime::fromString(query.text(2).value_or(QString()), Qt::ISODateWithMs),
            query.text(3).value_or(QString()), int(query.integer(4).value_or(0))};
        if (isStation(period.station) && period.begin.isValid())
            periods.append(period);
    }
    return periods;
}

QList<QStringList> UsageDatabase::unreadableOpenPeriods()
{
    SqlStatement query(
        m_db.get(),
        QStringLiteral("SELECT Periode, Station, Beginn, Startzeit, Intervall FROM Perioden"
                       " WHERE Abgerechnet IS NOT 1 ORDER BY rowid"));
    QList<QStringList> rows;
    while (query.next()) {
        QStringList row;
        for (int column = 0; column < 5; ++column)
            row.append(query.text(column).value_or(QString()));
        const int station = int(query.integer(1).value_or(0));
        const bool readable = query.integer(1) && isStation(station)
            && QDateTime::fromString(row[2], Qt::ISODateWithMs).isValid() && !row[0].isEmpty();
        if (!readable)
            rows.append(row);
    }
    return rows;
}

bool UsageDatabase::removeUnreadableOpenPeriod(const QStringList &row)
{
    SqlStatement remove(
        m_db.get(),
        QStringLiteral("DELETE FROM Perioden WHERE Abgerechnet IS NOT 1"
                       " AND ifnull(Periode, '') = ?1 AND ifnull(CAST(Station AS TEXT), '') = ?2"
                       " AND ifnull(Beginn, '') = ?3"));
    return remove.bind(1, row.value(0)) && remove.bind(2, row.value(1))
        && remove.bind(3, row.value(2)) && remove.run();
}

bool UsageDatabase::discardOpenPeriod(const QString &periodId)
{
    SqlStatement remove(
        m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 0"));
    return remove.bind(1, periodId) && remove.run();
}

QStringList UsageDatabase::recordedPeriods()
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Periode FROM Perioden WHERE Abgerechnet = 1"));
    QStringList ids;
    while (query.next())
        ids.append(query.text(0).value_or(QString()));
    return ids;
}

bool UsageDatabase::forgetRecorded(const QString &periodId)
{
    SqlStatement forget(
        m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 1"));
    return forget.bind(1, periodId) && forget.run();
}

RecordOutcome UsageDatabase::recordPeriod(const StoppedPeriod &stopped, bool keepMarker)
{
    const std::optional<qint64> fee = TextFormats::parseMoney(stopped.record.fee);
    if (!fee)
        return refused(QStringLiteral("Der Betrag %1 ist nicht lesbar.").arg(stopped.record.fee));
    if (const Failure moved = stillInPlace())
        return refused(moved);
    if (const Failure failure = tablesOfUnserved(stopped.period.station))
        return refused(failure);
    sqlite3 *db = m_db.get();
    SqlTransaction transaction(db);
    if (!transaction.isOpen())
        return refused(transaction.failure());
    const EarlierRecord earlier = wasRecorded(db, stopped.period.id);
    if (earlier.recorded)
        return {RecordOutcome::WrittenEarlier, std::nullopt, QString()};
    if (earlier.failure)
        return refused(earlier.failure);
    const int station = stopped.period.station;
    if (const Failure failure = appendRecord(db, station, stopped.record, *fee, stopped.month))
        return refused(failure);
    const TotalsUpdate update
        = addToTotals(db, station, Billing::wholeMinutes(stopped.durationSeconds), *fee);
    if (update.failure)
        return refused(update.failure);
    if (const Failure failure = closePeriod(db, stopped.period, keepMarker))
        return refused(failure);
    if (!transaction.commit())
        return refused(transaction.failure());
    if (const auto sum = m_allFees.find(station); sum != m_allFees.end())
        *sum = sum->value_or(0) + *fee;
    return {RecordOutcome::Written, update.totals, QString(), update.unreadable};
}

std::optional<qint64> UsageDatabase::readTotalMinutes(int station)
{
    return readSingleValue(forStation("SELECT Nutzungszeit FROM client%1stat LIMIT 1", station));
}

std::optional<qint64> UsageDatabase::readTotalFees(int station)
{
    return readSingleValue(forStation("SELECT money(Entgeld) FROM client%1stat LIMIT 1", station));
}

std::optional<qint64> UsageDatabase::sumAllFees(int station)
{
    if (const auto known = m_allFees.constFind(station); known != m_allFees.cend())
        return *known;
    if (station > m_vouchedFeeSums || !readFeeSum(station)) {
        replaceResultTable(
            forStation("Entgeld%1", station),
            forStation("SELECT SUM(money(client%1kosten)) AS Entgeld%1 FROM client%1", station));
        static_cast<void>(readFeeSum(station));
    }
    return m_allFees.value(station);
}

// Remembers the sum the station's result table holds; false when it can't be read.
bool UsageDatabase::readFeeSum(int station)
{
    SqlStatement query(m_db.get(), forStation("SELECT Entgeld%1 FROM Entgeld%1", station));
    if (!query.next())
        return false;
    m_allFees.insert(station, query.integer(0));
    return true;
}

QStringList UsageDatabase::listMonths(int station)
{
    // Each month is the least one above the month before, found in the month index
    // without a pass over the records; the order is the one DISTINCT ... ORDER BY gives.
    SqlStatement query(
        m_db.get(),
        forStation("WITH RECURSIVE months(month) AS (SELECT min(client%1datum) FROM client%1"
                   " UNION ALL SELECT (SELECT min(client%1datum) FROM client%1"
                   " WHERE client%1datum > month) FROM months WHERE month IS NOT NULL)"
                   " SELECT month FROM months WHERE month IS NOT NULL",
                   station));
    QStringList months;
    while (query.next()) {
        if (const std::optional<QString> month = query.text(0))
            months.append(*month);
    }
    return months;
}

std::optional<qint64> UsageDatabase::sumMonthFees(int station, const QString &monthText)
{
    // The month must read exactly as the chosen text ("5" matches 5, "05" and "15"
    // do not); the comparison as a number lets the month index find the rows.
    replaceResultTable(
        forStation("Monat%1", station),
        forStation(
            "SELECT SUM(money(client%1kosten)) AS Kosten%1 FROM client%1"
            " WHERE client%1datum = CAST(?1 AS INTEGER) AND CAST(client%1datum AS TEXT) = ?1",
            station),
        {monthText});
    return readSingleValue(forStation("SELECT Kosten%1 FROM Monat%1", station));
}

std::optional<qint64> UsageDatabase::sumMonthMinutes(int station, const QString &monthText)
{
    // Durations are stored as hh:nn:ss texts; a period of 100 hours or more has more
    // digits of hours.
    SqlStatement query(
        m_db.get(),
        forStation(
            "SELECT SUM(CAST(substr(client%1dauer, 1, length(client%1dauer) - 6) AS INTEGER) * 3600"
            " + CAST(substr(client%1dauer, -5, 2) AS INTEGER) * 60"
            " + CAST(substr(client%1dauer, -2, 2) AS INTEGER)) FROM client%1"
            " WHERE client%1datum = CAST(?1 AS INTEGER) AND CAST(client%1datum AS TEXT) = ?1",
            station));
    if (!query.bind(1, monthText) || !query.next())
        return std::nullopt;
    const std::optional<qint64> seconds = query.integer(0);
    if (!seconds)
        return std::nullopt;
    return Billing::wholeMinutes(*seconds);
}

void UsageDatabase::replaceResultTable(const QString &table, const QString &select,
                                       const QStringList &parameters)
{
    SqlTransaction transaction(m_db.get());
    // A new file has no result table yet; then there is nothing to drop.
    static_cast<void>(exec(m_db.get(), QStringLiteral("DROP TABLE ") + table));
    SqlStatement make(m_db.get(), QStringLiteral("CREATE TABLE %1 AS %2").arg(table, select));
    for (qsizetype i = 0; i < parameters.size(); ++i)
        make.bind(int(i + 1), parameters[i]);
    // Should the table have stayed, the make fails and the older table is read.
    make.run();
    transaction.commit();
}

std::optional<qint64> UsageDatabase::readSingleValue(const QString &select)
{
    SqlStatement query(m_db.get(), select);
    if (!query.next())
        return std::nullopt;
    return query.integer(0);
}

std::optional<XlsSheetData> UsageDatabase::exportStation(int station)
{
    SqlStatement query(m_db.get(), forStation("SELECT * FROM client%1 ORDER BY rowid", station));
    if (!query.isValid())
        return std::nullopt;
    XlsSheetData table;
    for (int column = 0; column < query.columnCount(); ++column)
        table.fieldNames.append(query.columnName(column));
    const qsizetype feeColumn
        = columnIndex(table.fieldNames, forStation("client%1kosten", station));
    while (query.next()) {
        QVariantList row;
        for (int column = 0; column < query.columnCount(); ++column)
            row.append(query.value(column));
        if (feeColumn >= 0 && !row[feeColumn].isNull()) {
            const std::optional<qint64> units = query.money(int(feeColumn));
            row[feeColumn] = units ? QVariant(double(*units) / unitsPerEuro) : QVariant();
        }
        table.rows.append(row);
    }
    if (!query.reachedEnd())
        return std::nullopt;
    return table;
}

#include "UsageDatabase.h"

#include "Billing.h"
#include "StoredMoney.h"
#include "TextFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtNumeric>

#include <sqlite3.h>

namespace {
constexpr double unitsPerEuro = 10000.0;

// Fills in the station number for every %1 of a statement or name.
QString forStation(const char *pattern, int station)
{
    return QString::fromLatin1(pattern).arg(station);
}

void report(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// What the operator reads when the engine refuses: German, naming the file and
// what to do, with the engine's own words in brackets for whoever looks further.
QString failureText(int code, const QString &path, const QString &engineText)
{
    const QString file = QDir::toNativeSeparators(path);
    QString text;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        text = QStringLiteral("Die Datenbank %1 ist von einem anderen Programm gesperrt. Bitte das "
                              "Programm beenden, das"
                              " sie offen hält (etwa eine sqlcipher-Sitzung).");
        break;
    case SQLITE_CORRUPT:
        text = QStringLiteral(
            "Die Datenbank %1 ist beschädigt. Bitte Kavo beenden, die Datei sichern und die letzte"
            " Datensicherung zurückholen.");
        break;
    case SQLITE_NOTADB:
        text = QStringLiteral(
            "Die Datei %1 ist keine Kavo-Datenbank (oder hat einen anderen Schlüssel). Bitte den DB"
            " Name in Kavo.ini prüfen oder die richtige Datei in den Programmordner legen.");
        break;
    case SQLITE_FULL:
        text = QStringLiteral(
            "Auf dem Datenträger der Datenbank %1 ist kein Platz mehr. Bitte Platz schaffen.");
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        text = QStringLiteral(
            "Die Datenbank %1 lässt sich nicht öffnen oder beschreiben. Bitte die Rechte der Datei"
            " und des Programmordners prüfen (Gruppe kavo).");
        break;
    case SQLITE_IOERR:
        text = QStringLiteral(
            "Beim Lesen oder Schreiben der Datenbank %1 meldet der Datenträger einen Fehler. Bitte"
            " den Datenträger prüfen und Kavo neu starten.");
        break;
    case SQLITE_ERROR:
        text = QStringLiteral(
            "Der Datenbank %1 fehlt eine Tabelle oder Spalte, die Kavo braucht. Bitte prüfen, ob DB"
            " Name in Kavo.ini die richtige Datei nennt.");
        break;
    default:
        text = QStringLiteral(
            "Die Datenbank %1 meldet einen Fehler. Bitte Kavo neu starten; bleibt der Fehler, die"
            " Datei sichern und prüfen lassen.");
        break;
    }
    return text.arg(file) + QStringLiteral(" (%1)").arg(engineText);
}

QString engineMessage(sqlite3 *db)
{
    const char *name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return failureText(sqlite3_extended_errcode(db), name ? QString::fromUtf8(name) : QString(),
                       QString::fromUtf8(sqlite3_errmsg(db)));
}

// A fee or total column's value in ten-thousandths of a euro, whether the console
// wrote it or an operator typed euros with decimals; nothing for null or no amount.
std::optional<qint64> moneyUnits(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return sqlite3_value_int64(value);
    case SQLITE_FLOAT:
        return StoredMoney::fromReal(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return StoredMoney::fromText(QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value)));
    default:
        return std::nullopt;
    }
}

// The SQL function money(x): moneyUnits for the sums the engine computes.
void moneyFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (const std::optional<qint64> units = moneyUnits(arguments[0]))
        sqlite3_result_int64(context, *units);
    else
        sqlite3_result_null(context);
}

// The engine's text for the last statement that failed; kept apart, since
// finalizing a statement resets what the engine reports.
QString &lastFailure()
{
    static QString text;
    return text;
}

bool exec(sqlite3 *db, const QString &sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    lastFailure() = engineMessage(db);
    return false;
}

// One prepared statement, finalized when it goes out of scope so that no table
// stays in use. A statement that failed to prepare fails every step.
class Statement
{
public:
    Statement(sqlite3 *db, const QString &sql)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_statement, nullptr)
            != SQLITE_OK)
            lastFailure() = engineMessage(db);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_statement != nullptr; }

    bool bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        return isValid()
            && sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                                 SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    bool bind(int index, qint64 value)
    {
        return isValid() && sqlite3_bind_int64(m_statement, index, value) == SQLITE_OK;
    }

    // Runs a statement that gives no rows.
    bool run() { return step() == SQLITE_DONE; }
    // Moves to the next row; false at the end and on an error.
    bool next() { return step() == SQLITE_ROW; }
    bool reachedEnd() const { return m_lastStep == SQLITE_DONE; }

    int columnCount() const { return sqlite3_column_count(m_statement); }
    QString columnName(int column) const
    {
        return QString::fromUtf8(sqlite3_column_name(m_statement, column));
    }
    bool isNull(int column) const
    {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }

    std::optional<qint64> money(int column) const
    {
        // Only a copy of a column's value may be read through the value interface.
        std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)> value(
            sqlite3_value_dup(sqlite3_column_value(m_statement, column)), &sqlite3_value_free);
        return value ? moneyUnits(value.get()) : std::nullopt;
    }

    std::optional<qint64> integer(int column) const
    {
        if (isNull(column))
            return std::nullopt;
        return sqlite3_column_int64(m_statement, column);
    }

    std::optional<QString> text(int column) const
    {
        if (isNull(column))
            return std::nullopt;
        const auto *bytes
            = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
    }

    QVariant value(int column) const
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(m_statement, column));
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_statement, column);
        case SQLITE_TEXT:
            return *text(column);
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                              sqlite3_column_bytes(m_statement, column));
        default:
            return QVariant();
        }
    }

private:
    int step()
    {
        m_lastStep = isValid() ? sqlite3_step(m_statement) : SQLITE_MISUSE;
        if (isValid() && m_lastStep != SQLITE_ROW && m_lastStep != SQLITE_DONE)
            lastFailure() = engineMessage(sqlite3_db_handle(m_statement));
        return m_lastStep;
    }

    sqlite3_stmt *m_statement = nullptr;
    int m_lastStep = SQLITE_OK;
};

// A write transaction that is rolled back unless committed.
class Transaction
{
public:
    explicit Transaction(sqlite3 *db)
        : m_db(db)
        , m_open(exec(db, QStringLiteral("BEGIN IMMEDIATE")))
    {
    }
    ~Transaction()
    {
        if (m_open)
            exec(m_db, QStringLiteral("ROLLBACK"));
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool isOpen() const { return m_open; }
    bool commit()
    {
        if (!m_open || !exec(m_db, QStringLiteral("COMMIT")))
            return false;
        m_open = false;
        return true;
    }

private:
    sqlite3 *m_db;
    bool m_open;
};

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
}

void UsageDatabase::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

UsageDatabase::UsageDatabase() = default;
UsageDatabase::~UsageDatabase() = default;

QString UsageDatabase::pathFor(const QString &programDir, const QString &dbName)
{
    return programDir + QLatin1Char('/') + dbName + QStringLiteral(".mde");
}

bool UsageDatabase::checkName(const QString &dbName, QString *error)
{
    static const QRegularExpression pathPart(QStringLiteral("[/\\\\]|\\.\\.|\\x{0}"));
    if (!dbName.contains(pathPart))
        return true;
    report(error,
           QStringLiteral(
               "Der DB Name \"%1\" in Kavo.ini ist kein Dateiname: er darf kein Verzeichnis, "
               "kein \"..\" und kein \"/\" oder \"\\\" enthalten.")
               .arg(dbName));
    return false;
}

bool UsageDatabase::create(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        report(error,
               file.exists() ? QStringLiteral("Die Datei %1 gibt es schon; sie bleibt unverändert.")
                                   .arg(QDir::toNativeSeparators(path))
                             : file.errorString());
        return false;
    }
    file.close();
    UsageDatabase database;
    if (database.connect(path, error) && database.makeTables(error))
        return true;
    database.m_db.reset();
    QFile::remove(path);
    return false;
}

bool UsageDatabase::open(const QString &path, QString *error)
{
    m_db.reset();
    if (!QFileInfo(path).isFile()) {
        report(error,
               QStringLiteral("Die Datenbank %1 wurde nicht gefunden.")
                   .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    if (connect(path, error) && checkTables(error) && checkWritable(path, error)
        && checkPages(path, error) && checkTakesRecords(path, error) && makeOwnTables(error))
        return true;
    m_db.reset();
    return false;
}

bool UsageDatabase::connect(const QString &path, QString *error)
{
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
                                       SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(handle);
    if (!handle) {
        report(error, failureText(opened, path, QString::fromUtf8(sqlite3_errstr(opened))));
        return false;
    }
    // A locked file is waited for only briefly, so that the window and the station
    // links go on; a record it refuses is kept and written later.
    sqlite3_busy_timeout(handle, 20);
    // A wrong key shows only when the first page is read.
    const bool ready = opened == SQLITE_OK
        && exec(handle, QStringLiteral("PRAGMA key = '%1'").arg(QLatin1String(password)))
        && exec(handle, QStringLiteral("SELECT count(*) FROM sqlite_master"))
        && exec(handle, QStringLiteral("PRAGMA synchronous = FULL"))
        && sqlite3_create_function_v2(handle, "money", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                      nullptr, &moneyFunction, nullptr, nullptr, nullptr)
            == SQLITE_OK;
    if (!ready)
        report(error, engineMessage(handle));
    return ready;
}

bool UsageDatabase::checkTables(QString *error)
{
    const QStringList queries = {recordColumnsQuery(1), recordColumnsQuery(2),
                                 totalsColumnsQuery(1), totalsColumnsQuery(2)};
    for (const QString &query : queries) {
        if (!Statement(m_db.get(), query).isValid()) {
            report(error, engineMessage(m_db.get()));
            return false;
        }
    }
    return true;
}

// The engine falls back to reading only when the file is write-protected; then
// every stop would lose its record.
bool UsageDatabase::checkWritable(const QString &path, QString *error)
{
    if (sqlite3_db_readonly(m_db.get(), "main") == 0)
        return true;
    report(
        error,
        QStringLiteral("Die Datenbank %1 ist schreibgeschützt. Bitte die Rechte der Datei und des"
                       " Programmordners prüfen (Gruppe kavo).")
            .arg(QDir::toNativeSeparators(path)));
    return false;
}

bool UsageDatabase::checkPages(const QString &path, QString *error)
{
    Statement check(m_db.get(), QStringLiteral("PRAGMA quick_check"));
    QStringList findings;
    while (check.next())
        findings.append(check.text(0).value_or(QString()));
    if (check.reachedEnd() && findings == QStringList{QStringLiteral("ok")})
        return true;
    const int code = sqlite3_errcode(m_db.get()) & 0xff;
    if (!check.reachedEnd() && (code == SQLITE_BUSY || code == SQLITE_LOCKED)) {
        report(error, engineMessage(m_db.get()));
        return false;
    }
    // The check's first lines name the damage ("*** in database main ***" only heads them).
    findings.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("***")); });
    const QString finding = check.reachedEnd() && !findings.isEmpty()
        ? findings.mid(0, 3).join(QStringLiteral("; "))
        : QString::fromUtf8(sqlite3_errmsg(m_db.get()));
    report(error,
           QStringLiteral(
               "Die Datenbank %1 ist beschädigt (%2). Bitte Kavo beenden, die Datei sichern und die"
               " letzte Datensicherung zurückholen.")
               .arg(QDir::toNativeSeparators(path), finding));
    return false;
}

// A record that is written and rolled back again: a full disk, a directory that
// takes no journal or a lock held by another program show here, not at a stop.
bool UsageDatabase::checkTakesRecords(const QString &path, QString *error)
{
    Transaction trial(m_db.get());
    if (trial.isOpen()
        && exec(m_db.get(), QStringLiteral("INSERT INTO client1 (client1start) VALUES ('Probe')")))
        return true;
    report(error,
           QStringLiteral("Die Datenbank %1 nimmt keine Datensätze an. %2")
               .arg(QDir::toNativeSeparators(path), engineMessage(m_db.get())));
    return false;
}

bool UsageDatabase::makeOwnTables(QString *error)
{
    if (exec(m_db.get(),
             QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS Perioden (Periode TEXT PRIMARY KEY,"
                 " Station INTEGER,"
                 " Beginn TEXT, Startzeit TEXT, Intervall INTEGER, Abgerechnet INTEGER)")))
        return true;
    report(error, engineMessage(m_db.get()));
    return false;
}

QList<int> UsageDatabase::stationsWithUnreadableTotals()
{
    QList<int> unreadable;
    for (int station : {1, 2}) {
        Statement read(m_db.get(), forStation("SELECT Entgeld FROM client%1stat LIMIT 1", station));
        if (read.next() && !read.isNull(0) && !read.money(0)
            && !read.text(0).value_or(QString()).isEmpty())
            unreadable.append(station);
    }
    return unreadable;
}

QList<int> UsageDatabase::stationsWithoutTotals()
{
    QList<int> missing;
    for (int station : {1, 2}) {
        Statement count(m_db.get(), forStation("SELECT count(*) FROM client%1stat", station));
        if (count.next() && count.integer(0) == 0)
            missing.append(station);
    }
    return missing;
}

bool UsageDatabase::makeTables(QString *error)
{
    Transaction transaction(m_db.get());
    if (transaction.isOpen() && exec(m_db.get(), tablesOf(1) + tablesOf(2)) && transaction.commit())
        return true;
    report(error, engineMessage(m_db.get()));
    return false;
}

// A file renamed or deleted while the console runs would still take writes that
// the next start never sees; it counts as refusing them.
bool UsageDatabase::stillInPlace(QString *error)
{
    int moved = 0;
    if (m_db
        && sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved == 0)
        return true;
    report(error,
           QStringLiteral(
               "Die Datenbankdatei wurde umbenannt, verschoben oder gelöscht; bitte unter ihrem"
               " Namen zurücklegen"));
    return false;
}

bool UsageDatabase::saveOpenPeriod(const OpenPeriod &period, QString *error)
{
    if (!stillInPlace(error))
        return false;
    if (writePeriodRow(period, false))
        return true;
    report(error, engineMessage(m_db.get()));
    return false;
}

bool UsageDatabase::writePeriodRow(const OpenPeriod &period, bool recorded)
{
    Statement write(
        m_db.get(),
        QStringLiteral("INSERT OR REPLACE INTO Perioden (Periode, Station, Beginn, Startzeit,"
                       " Intervall, Abgerechnet) VALUES (?1, ?2, ?3, ?4, ?5, ?6)"));
    return write.bind(1, period.id) && write.bind(2, qint64(period.station))
        && write.bind(3, period.beginText()) && write.bind(4, period.startText)
        && write.bind(5, qint64(period.intervalMinutes)) && write.bind(6, qint64(recorded ? 1 : 0))
        && write.run();
}

QList<OpenPeriod> UsageDatabase::openPeriods()
{
    Statement query(
        m_db.get(),
        QStringLiteral("SELECT Periode, Station, Beginn, Startzeit, Intervall FROM Perioden"
                       " WHERE Abgerechnet = 0 ORDER BY Beginn"));
    QList<OpenPeriod> periods;
    while (query.next()) {
        OpenPeriod period{
            query.text(0).value_or(QString()), int(query.integer(1).value_or(0)),
            QDateTime::fromString(query.text(2).value_or(QString()), Qt::ISODateWithMs),
            query.text(3).value_or(QString()), int(query.integer(4).value_or(0))};
        if ((period.station == 1 || period.station == 2) && period.begin.isValid())
            periods.append(period);
    }
    return periods;
}

QList<QStringList> UsageDatabase::unreadableOpenPeriods()
{
    Statement query(
        m_db.get(),
        QStringLiteral("SELECT Periode, Station, Beginn, Startzeit, Intervall FROM Perioden"
                       " WHERE Abgerechnet IS NOT 1 ORDER BY rowid"));
    QList<QStringList> rows;
    while (query.next()) {
        QStringList row;
        for (int column = 0; column < 5; ++column)
            row.append(query.text(column).value_or(QString()));
        const int station = int(query.integer(1).value_or(0));
        const bool readable = query.integer(1) && (station == 1 || station == 2)
            && QDateTime::fromString(row[2], Qt::ISODateWithMs).isValid() && !row[0].isEmpty();
        if (!readable)
            rows.append(row);
    }
    return rows;
}

bool UsageDatabase::removeUnreadableOpenPeriod(const QStringList &row)
{
    Statement remove(
        m_db.get(),
        QStringLiteral("DELETE FROM Perioden WHERE Abgerechnet IS NOT 1"
                       " AND ifnull(Periode, '') = ?1 AND ifnull(CAST(Station AS TEXT), '') = ?2"
                       " AND ifnull(Beginn, '') = ?3"));
    return remove.bind(1, row.value(0)) && remove.bind(2, row.value(1))
        && remove.bind(3, row.value(2)) && remove.run();
}

bool UsageDatabase::discardOpenPeriod(const QString &periodId)
{
    Statement remove(m_db.get(),
                     QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 0"));
    return remove.bind(1, periodId) && remove.run();
}

QStringList UsageDatabase::recordedPeriods()
{
    Statement query(m_db.get(),
                    QStringLiteral("SELECT Periode FROM Perioden WHERE Abgerechnet = 1"));
    QStringList ids;
    while (query.next())
        ids.append(query.text(0).value_or(QString()));
    return ids;
}

bool UsageDatabase::forgetRecorded(const QString &periodId)
{
    Statement forget(m_db.get(),
                     QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 1"));
    return forget.bind(1, periodId) && forget.run();
}

RecordOutcome UsageDatabase::recordPeriod(const StoppedPeriod &stopped, bool keepMarker)
{
    RecordOutcome outcome;
    const int station = stopped.period.station;
    const std::optional<qint64> fee = TextFormats::parseMoney(stopped.record.fee);
    if (!fee) {
        outcome.error = QStringLiteral("Der Betrag %1 ist nicht lesbar.").arg(stopped.record.fee);
        return outcome;
    }
    if (!stillInPlace(&outcome.error))
        return outcome;
    lastFailure().clear();
    Transaction transaction(m_db.get());
    bool recorded = false;
    const bool checked = transaction.isOpen() && wasRecorded(stopped.period.id, &recorded);
    if (recorded) {
        outcome.kind = RecordOutcome::WrittenEarlier;
        return outcome;
    }
    bool totalsFailed = false;
    if (checked && appendRecord(station, stopped.record, *fee, stopped.month)) {
        outcome.totals = addToTotals(station, Billing::wholeMinutes(stopped.durationSeconds), *fee,
                                     &totalsFailed, &outcome.totalsUnreadable);
        if (!totalsFailed && closePeriod(stopped.period, keepMarker) && transaction.commit()) {
            outcome.kind = RecordOutcome::Written;
            return outcome;
        }
    }
    outcome.error = lastFailure().isEmpty() ? engineMessage(m_db.get()) : lastFailure();
    outcome.totals.reset();
    return outcome;
}

bool UsageDatabase::wasRecorded(const QString &periodId, bool *recorded)
{
    Statement query(m_db.get(),
                    QStringLiteral("SELECT Abgerechnet FROM Perioden WHERE Periode = ?1"));
    *recorded = false;
    if (!query.bind(1, periodId))
        return false;
    if (query.next()) {
        *recorded = query.integer(0) == 1;
        return true;
    }
    return query.reachedEnd();
}

bool UsageDatabase::appendRecord(int station, const UsageRecord &record, qint64 feeUnits, int month)
{
    Statement insert(
        m_db.get(),
        forStation(
            "INSERT INTO client%1 (client%1start, client%1ende, client%1dauer, client%1kosten,"
            " client%1datum) VALUES (?1, ?2, ?3, ?4, ?5)",
            station));
    return insert.bind(1, record.start) && insert.bind(2, record.end)
        && insert.bind(3, record.duration) && insert.bind(4, feeUnits)
        && insert.bind(5, qint64(month)) && insert.run();
}

// A missing totals row, a total of fees that reads as no amount (`unreadable`) or a
// total that would overflow skips the totals and keeps the record; an engine
// failure sets `failed`.
std::optional<UsageTotals> UsageDatabase::addToTotals(int station, qint64 minutes, qint64 feeUnits,
                                                      bool *failed, bool *unreadable)
{
    Statement read(
        m_db.get(),
        forStation("SELECT rowid, Nutzungszeit, Entgeld FROM client%1stat LIMIT 1", station));
    if (!read.next()) {
        *failed = !read.reachedEnd();
        return std::nullopt;
    }
    // Empty fields count as zero; a total typed by hand that is no amount is never overwritten.
    const std::optional<qint64> storedFees = read.money(2);
    *unreadable = !storedFees && !read.isNull(2) && !read.text(2).value_or(QString()).isEmpty();
    UsageTotals totals;
    if (*unreadable || qAddOverflow(read.integer(1).value_or(0), minutes, &totals.minutes)
        || qAddOverflow(storedFees.value_or(0), feeUnits, &totals.feeUnits))
        return std::nullopt;

    Statement write(
        m_db.get(),
        forStation("UPDATE client%1stat SET Nutzungszeit = ?1, Entgeld = ?2 WHERE rowid = ?3",
                   station));
    if (write.bind(1, totals.minutes) && write.bind(2, totals.feeUnits)
        && write.bind(3, *read.integer(0)) && write.run())
        return totals;
    *failed = true;
    return std::nullopt;
}

bool UsageDatabase::closePeriod(const OpenPeriod &period, bool keepMarker)
{
    if (!keepMarker) {
        Statement close(m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1"));
        return close.bind(1, period.id) && close.run();
    }
    return writePeriodRow(period, true);
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
    replaceResultTable(
        forStation("Entgeld%1", station),
        forStation("SELECT SUM(money(client%1kosten)) AS Entgeld%1 FROM client%1", station));
    return readSingleValue(forStation("SELECT Entgeld%1 FROM Entgeld%1", station));
}

QStringList UsageDatabase::listMonths(int station)
{
    Statement query(
        m_db.get(),
        forStation("SELECT DISTINCT client%1datum FROM client%1 ORDER BY client%1datum", station));
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
    Statement query(
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
    Transaction transaction(m_db.get());
    // A new file has no result table yet; then there is nothing to drop.
    exec(m_db.get(), QStringLiteral("DROP TABLE ") + table);
    Statement make(m_db.get(), QStringLiteral("CREATE TABLE %1 AS %2").arg(table, select));
    for (qsizetype i = 0; i < parameters.size(); ++i)
        make.bind(int(i + 1), parameters[i]);
    // Should the table have stayed, the make fails and the older table is read.
    make.run();
    transaction.commit();
}

std::optional<qint64> UsageDatabase::readSingleValue(const QString &select)
{
    Statement query(m_db.get(), select);
    if (!query.next())
        return std::nullopt;
    return query.integer(0);
}

std::optional<XlsSheetData> UsageDatabase::exportStation(int station)
{
    Statement query(m_db.get(), forStation("SELECT * FROM client%1 ORDER BY rowid", station));
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

#include "RecordChain.h"

#include "ChainHash.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

#include <sqlite3.h>

using SqlRun::forStation;
using SqlRun::unlessDone;

namespace {
constexpr const char *bookColumnPatterns[][2] = {
    {"client%1echtstart", "TEXT"}, {"client%1echtkosten", "INTEGER"}, {"client%1storno", "INTEGER"},
    {"client%1grund", "TEXT"},     {"client%1kette", "TEXT"},
};

bool hasColumn(sqlite3 *db, const QString &table, const QString &column)
{
    SqlStatement query(db, QStringLiteral("PRAGMA table_info(%1)").arg(table));
    while (query.next()) {
        if (query.text(1).value_or(QString()).compare(column, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
}

QStringList RecordChain::bookColumns(int station)
{
    QStringList columns;
    for (const auto &column : bookColumnPatterns)
        columns.append(forStation(column[0], station) + QLatin1Char(' ')
                       + QLatin1String(column[1]));
    return columns;
}

QString RecordChain::hashedRecordFields(int station)
{
    return forStation("client%1start, client%1ende, client%1dauer, client%1kosten,"
                      " client%1datum, client%1von, client%1bis, client%1bediener,"
                      " client%1nummer, client%1echtstart, client%1echtkosten,"
                      " client%1storno, client%1grund, client%1herkunft, client%1pause",
                      station);
}

QString RecordChain::hashedClosingFields()
{
    return QStringLiteral("Nummer, Art, Von, Bis, Erstellt, Bediener, Zahlen, Fingerabdruck,"
                          " NachBeleg");
}

RecordChain::RecordChain(const SqlConnection &db, const int &stations)
    : m_db(db)
    , m_stations(stations)
{
}

void RecordChain::refresh()
{
    // Where the function is missing, sealing fails with the engine's reason rather
    // than the book being taken as not kept.
    if (m_db)
        (void)ChainHash::install(m_db.get());
    m_active = m_db
        && SqlRun::singleValue(m_db.get(),
                               QStringLiteral("SELECT count(*) FROM sqlite_master"
                                              " WHERE name = 'Kettenkopf'"))
                .value_or(0)
            > 0;
}

Failure RecordChain::prepare(int station)
{
    QString missing;
    const QString table = forStation("client%1", station);
    for (const QString &column : bookColumns(station)) {
        if (!hasColumn(m_db.get(), table, column.section(QLatin1Char(' '), 0, 0)))
            missing += QStringLiteral("ALTER TABLE %1 ADD COLUMN %2;").arg(table, column);
    }
    return SqlRun::exec(m_db.get(), missing);
}

Failure RecordChain::start()
{
    sqlite3 *db = m_db.get();
    QString statements;
    for (const QString &column :
         {QStringLiteral("NachBeleg INTEGER"), QStringLiteral("Kette TEXT")}) {
        if (!hasColumn(db, QStringLiteral("Abschluesse"), column.section(QLatin1Char(' '), 0, 0)))
            statements += QStringLiteral("ALTER TABLE Abschluesse ADD COLUMN %1;").arg(column);
    }
    statements += QStringLiteral(
        "CREATE TABLE Kettenkopf (Zeile INTEGER PRIMARY KEY, AnfangBeleg INTEGER,"
        " AnfangAbschluss INTEGER, Kopf TEXT, GeprueftBeleg INTEGER, GeprueftAbschluss INTEGER,"
        " GeprueftKopf TEXT);"
        "CREATE TABLE Kettenstand (Station INTEGER PRIMARY KEY, AnfangZeile INTEGER,"
        " AnfangMinuten INTEGER, AnfangEntgeld INTEGER, Zeile INTEGER, Minuten INTEGER,"
        " Entgeld INTEGER);"
        "INSERT INTO Kettenkopf SELECT 1, Letzte + 1,"
        " (SELECT ifnull(max(Nummer), 0) + 1 FROM Abschluesse), '', Letzte,"
        " (SELECT ifnull(max(Nummer), 0) FROM Abschluesse), '' FROM Belegnummer;");
    for (int station = 1; station <= m_stations; ++station) {
        if (const Failure failure = prepare(station))
            return failure;
        statements += forStation(
            "INSERT INTO Kettenstand SELECT %1, ifnull((SELECT max(rowid) FROM client%1), 0),"
            " ifnull(Nutzungszeit, 0), ifnull(money(Entgeld), 0),"
            " ifnull((SELECT max(rowid) FROM client%1), 0), ifnull(Nutzungszeit, 0),"
            " ifnull(money(Entgeld), 0) FROM (SELECT 1) LEFT JOIN client%1stat;",
            station);
    }
    if (const Failure failure = SqlRun::exec(db, statements))
        return failure;
    m_active = true;
    return Failure::none();
}

Failure RecordChain::seal(const QString &select, const QString &update, const QByteArray &kind,
                          qint64 key)
{
    sqlite3 *db = m_db.get();
    SqlStatement row(db, select);
    if (!row.bind(1, key) || !row.next())
        return Failure(row.failure().isEmpty() ? QStringLiteral("Der Eintrag fehlt.")
                                               : row.failure());
    const QByteArray previous = QByteArray::fromHex(head().toLatin1());
    ChainHash chainHash;
    const QString hash
        = QString::fromLatin1(chainHash.of(previous, kind, row.bytes(0)).toByteArray().toHex());
    SqlStatement write(db, update);
    if (!write.bind(1, hash) || !write.bind(2, key) || !write.run())
        return Failure(write.failure());
    SqlStatement head(db, QStringLiteral("UPDATE Kettenkopf SET Kopf = ?1"));
    return unlessDone(head.bind(1, hash) && head.run(), head);
}

Failure RecordChain::sealRecord(int station, qint64 rowid)
{
    if (!m_active)
        return Failure::none();
    return seal(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1")
            .arg(ChainHash::fieldsOf(hashedRecordFields(station)), forStation("client%1", station)),
        forStation("UPDATE client%1 SET client%1kette = ?1 WHERE rowid = ?2", station),
        QByteArray("B") + QByteArray::number(station), rowid);
}

Failure RecordChain::sealClosing(int number)
{
    if (!m_active)
        return Failure::none();
    const QString fields = ChainHash::fieldsOf(hashedClosingFields());
    return seal(QStringLiteral("SELECT %1 FROM Abschluesse WHERE Nummer = ?1").arg(fields),
                QStringLiteral("UPDATE Abschluesse SET Kette = ?1 WHERE Nummer = ?2"),
                QByteArray("A"), number);
}

Result<int> RecordChain::sealNewestClosing()
{
    const int number
        = int(SqlRun::singleValue(m_db.get(), QStringLiteral("SELECT max(Nummer) FROM Abschluesse"))
                  .value_or(0));
    if (const Failure failure = sealClosing(number))
        return failure;
    return number;
}

Result<int> RecordChain::saveClosing(const QString &select,
                                     const std::function<bool(SqlStatement &)> &bind)
{
    SqlTransaction transaction(m_db.get());
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    SqlStatement insert(m_db.get(),
                        QStringLiteral("INSERT INTO Abschluesse (Nummer, Art, Von, Bis, Erstellt,"
                                       " Bediener, Zahlen, Fingerabdruck%1) ")
                                .arg(closingLinkColumn())
                            + select.arg(closingLinkValue()));
    if (!bind(insert) || !insert.run())
        return Failure(insert.failure());
    const Result<int> number = sealNewestClosing();
    if (!number.hasValue())
        return number.failure();
    if (!transaction.commit())
        return Failure(transaction.failure());
    return number;
}

QString RecordChain::closingLinkColumn() const
{
    return m_active ? QStringLiteral(", NachBeleg") : QString();
}

QString RecordChain::closingLinkValue() const
{
    return m_active ? QStringLiteral(", (SELECT Letzte FROM Belegnummer)") : QString();
}

QString RecordChain::head() const
{
    if (!m_active)
        return {};
    SqlStatement query(m_db.get(), QStringLiteral("SELECT Kopf FROM Kettenkopf"));
    return query.next() ? query.text(0).value_or(QString()) : QString();
}

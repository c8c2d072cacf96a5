#include "ChainCheck.h"

#include "Billing.h"
#include "ChainHash.h"
#include "RecordChain.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "TextFormats.h"

#include <algorithm>

using SqlRun::forStation;

namespace {
// Columns of a station's query: rowid, number, start, stop, duration, fee, the hashed
// fields, the stored hash.
constexpr int numberColumn = 1;
constexpr int startColumn = 2;
constexpr int stopColumn = 3;
constexpr int durationColumn = 4;
constexpr int feeColumn = 5;
constexpr int recordFieldsColumn = 6;
// Columns of the closings' query: number, the last record it saw, the hashed fields,
// the stored hash.
constexpr int lastRecordColumn = 1;
constexpr int closingFieldsColumn = 2;

QByteArray decodedHash(QByteArrayView stored)
{
    return QByteArray::fromHex(stored.toByteArray());
}
}

// One station's records in the order they were written, and the totals they give.
struct ChainCheck::Station
{
    int number = 0;
    QByteArray kind; // of its entries on the chain
    std::unique_ptr<SqlStatement> rows;
    bool pending = false;
    qint64 lastRowid = 0;
    qint64 minutes = 0;
    qint64 feeUnits = 0;

    std::optional<qint64> pendingNumber; // of the pending record

    bool advance()
    {
        pending = rows->next();
        if (pending) {
            lastRowid = rows->integer(0).value_or(lastRowid);
            pendingNumber = rows->integer(numberColumn);
        }
        return pending;
    }
    std::optional<qint64> recordNumber() const { return pendingNumber; }
};

ChainCheck::ChainCheck(const SqlConnection &db, int stations, Scope scope)
    : m_db(db)
{
    for (int station = 1; station <= stations; ++station) {
        auto entry = std::make_shared<Station>();
        entry->number = station;
        entry->kind = QByteArray("B") + QByteArray::number(station);
        m_stations.append(entry);
    }
    if (const Failure failure = begin(scope)) {
        m_findings.append(QStringLiteral("Die Kette ist nicht lesbar: ") + failure.text());
        m_done = true;
    }
}

ChainCheck::~ChainCheck() = default;

Failure ChainCheck::begin(Scope scope)
{
    sqlite3 *db = m_db.get();
    const bool whole = scope == Whole;
    SqlStatement head(db,
                      whole ? QStringLiteral("SELECT AnfangBeleg, AnfangAbschluss, '',"
                                             " (SELECT Letzte FROM Belegnummer)"
                                             " FROM Kettenkopf")
                            : QStringLiteral("SELECT GeprueftBeleg + 1, GeprueftAbschluss + 1,"
                                             " GeprueftKopf, (SELECT Letzte FROM Belegnummer)"
                                             " FROM Kettenkopf"));
    if (!head.next())
        return Failure(head.failure());
    m_nextNumber = head.integer(0).value_or(1);
    m_nextClosing = head.integer(1).value_or(1);
    m_previous = decodedHash(head.bytes(2));
    m_lastNumber = head.integer(3).value_or(0);
    m_total = qMax<qint64>(0, m_lastNumber - m_nextNumber + 1);

    for (const auto &station : m_stations) {
        SqlStatement from(db,
                          whole ? QStringLiteral("SELECT AnfangZeile, AnfangMinuten,"
                                                 " AnfangEntgeld FROM Kettenstand"
                                                 " WHERE Station = ?1")
                                : QStringLiteral("SELECT Zeile, Minuten, Entgeld"
                                                 " FROM Kettenstand WHERE Station = ?1"));
        if (!from.bind(1, qint64(station->number)))
            return Failure(from.failure());
        // A station served only since the book began starts from its first record.
        const bool known = from.next();
        station->lastRowid = known ? from.integer(0).value_or(0) : 0;
        station->minutes = known ? from.integer(1).value_or(0) : 0;
        station->feeUnits = known ? from.integer(2).value_or(0) : 0;
        station->rows = std::make_unique<SqlStatement>(
            db,
            QStringLiteral("SELECT rowid, %1, %2, %3 FROM %4 WHERE rowid > ?1 ORDER BY rowid")
                .arg(forStation("client%1nummer, client%1start, client%1ende, client%1dauer,"
                                " client%1kosten",
                                station->number),
                     ChainHash::fieldsOf(RecordChain::hashedRecordFields(station->number)),
                     forStation("client%1kette", station->number),
                     forStation("client%1", station->number)));
        if (!station->rows->bind(1, station->lastRowid))
            return Failure(station->rows->failure());
        station->advance();
    }
    m_closings = std::make_unique<SqlStatement>(
        db,
        QStringLiteral("SELECT Nummer, NachBeleg, %1, Kette FROM Abschluesse WHERE Nummer >= ?1"
                       " ORDER BY Nummer")
            .arg(ChainHash::fieldsOf(RecordChain::hashedClosingFields())));
    if (!m_closings->bind(1, m_nextClosing))
        return Failure(m_closings->failure());
    m_closingPending = m_closings->next();
    return Failure::none();
}

// The station whose next record has the lowest number; one without a number first.
ChainCheck::Station *ChainCheck::nextRecord()
{
    Station *next = nullptr;
    for (const auto &station : m_stations) {
        if (!station->pending)
            continue;
        const std::optional<qint64> number = station->recordNumber();
        if (!number)
            return station.get();
        if (!next || *number < *next->recordNumber())
            next = station.get();
    }
    return next;
}

bool ChainCheck::step(int entries)
{
    for (; !m_done && entries > 0; --entries) {
        Station *station = nextRecord();
        const bool closingFirst = m_closingPending
            && (!station
                || m_closings->integer(lastRecordColumn).value_or(0)
                    < station->recordNumber().value_or(0));
        if (closingFirst)
            checkClosing();
        else if (station)
            checkRecord(*station);
        else
            finish();
    }
    return !m_done;
}

void ChainCheck::run()
{
    while (step(10'000)) { }
}

void ChainCheck::checkRecord(Station &station)
{
    const SqlStatement &row = *station.rows;
    ++m_checked;
    const qint64 seconds = Billing::durationSeconds(QString::fromUtf8(row.bytes(durationColumn)));
    const qint64 minutes
        = seconds < 0 ? -Billing::wholeMinutes(-seconds) : Billing::wholeMinutes(seconds);
    station.minutes += minutes;
    // Fees are whole ten-thousandths; only one typed in by hand needs reading as money.
    station.feeUnits += row.typeLetter(feeColumn) == 'I' ? row.integer(feeColumn).value_or(0)
                                                         : row.money(feeColumn).value_or(0);
    const std::optional<qint64> number = station.recordNumber();
    if (!number || *number < m_nextNumber || *number > m_lastNumber) {
        m_findings.append(
            QStringLiteral("Station %1: Ein Beleg (%2, %3 bis %4, %5) wurde außerhalb von Kavo"
                           " eingefügt.")
                .arg(QString::number(station.number),
                     number ? QStringLiteral("Nr. ") + QString::number(*number)
                            : QStringLiteral("ohne Nummer"),
                     row.text(startColumn).value_or(QString()),
                     row.text(stopColumn).value_or(QString()),
                     TextFormats::money(row.money(feeColumn).value_or(0))));
        station.advance();
        return;
    }
    const bool gap = *number > m_nextNumber;
    if (gap) {
        m_findings.append(
            *number - 1 == m_nextNumber
                ? QStringLiteral("Beleg Nr. %1 fehlt: er wurde außerhalb von Kavo gelöscht.")
                      .arg(m_nextNumber)
                : QStringLiteral("Belege Nr. %1 bis %2 fehlen: sie wurden außerhalb von Kavo"
                                 " gelöscht.")
                      .arg(QString::number(m_nextNumber), QString::number(*number - 1)));
    }
    if (!follows(station.kind, row, recordFieldsColumn, gap))
        m_findings.append(
            QStringLiteral("Station %1: Beleg Nr. %2 wurde außerhalb von Kavo geändert.")
                .arg(QString::number(station.number), QString::number(*number)));
    m_nextNumber = *number + 1;
    station.advance();
}

void ChainCheck::checkClosing()
{
    const SqlStatement &row = *m_closings;
    const qint64 number = row.integer(0).value_or(0);
    const bool gap = number > m_nextClosing;
    if (gap)
        m_findings.append(
            QStringLiteral("Abschluss Nr. %1 fehlt: er wurde außerhalb von Kavo gelöscht.")
                .arg(m_nextClosing));
    if (!follows("A", row, closingFieldsColumn, gap))
        m_findings.append(
            QStringLiteral("Abschluss Nr. %1 wurde außerhalb von Kavo geändert.").arg(number));
    m_nextClosing = number + 1;
    m_closingPending = m_closings->next();
}

// Whether the entry's stored hash follows from the previous entry and its fields (after
// a gap it cannot); either way the stored hash is the previous one for the next entry.
// The hash is compared as the console writes it, in lower-case hex; a hash stored
// otherwise is read as hex.
bool ChainCheck::follows(QByteArrayView kind, const SqlStatement &row, int fieldsColumn, bool gap)
{
    const QByteArrayView stored = row.bytes(fieldsColumn + 1);
    if (gap) {
        m_previous = decodedHash(stored);
        return true;
    }
    const QByteArrayView hash = m_hash.of(m_previous, kind, row.bytes(fieldsColumn));
    static constexpr char digits[] = "0123456789abcdef";
    bool same = stored.size() == 2 * hash.size();
    for (qsizetype index = 0; same && index < hash.size(); ++index) {
        const auto byte = static_cast<unsigned char>(hash[index]);
        same = stored[2 * index] == digits[byte >> 4] && stored[2 * index + 1] == digits[byte & 15];
    }
    if (same) {
        m_previous.resize(hash.size());
        std::copy(hash.begin(), hash.end(), m_previous.begin());
        return true;
    }
    m_previous = decodedHash(stored);
    return m_previous == hash;
}

void ChainCheck::finish()
{
    m_done = true;
    const qint64 last = m_lastNumber;
    if (last >= m_nextNumber)
        m_findings.append(
            last == m_nextNumber
                ? QStringLiteral("Beleg Nr. %1 fehlt: er wurde außerhalb von Kavo gelöscht.")
                      .arg(last)
                : QStringLiteral("Belege Nr. %1 bis %2 fehlen: sie wurden außerhalb von Kavo"
                                 " gelöscht.")
                      .arg(QString::number(m_nextNumber), QString::number(last)));
    compareTotals();
}

void ChainCheck::compareTotals()
{
    for (const auto &station : m_stations) {
        SqlStatement totals(m_db.get(),
                            forStation("SELECT Nutzungszeit, money(Entgeld)"
                                       " FROM client%1stat LIMIT 1",
                                       station->number));
        if (!totals.next())
            continue;
        const qint64 minutes = totals.integer(0).value_or(0);
        const qint64 fees = totals.integer(1).value_or(0);
        if (minutes == station->minutes && fees == station->feeUnits)
            continue;
        m_findings.append(
            QStringLiteral("Station %1: Die Summen (client%1stat) stimmen nicht mehr mit den"
                           " Belegen überein: %2 Minuten und %3 statt %4 Minuten und %5.")
                .arg(QString::number(station->number), QString::number(minutes),
                     TextFormats::money(fees), QString::number(station->minutes),
                     TextFormats::money(station->feeUnits)));
    }
}

// In one transaction: a start waits for one write to the disk, not one a station.
Failure ChainCheck::keep()
{
    sqlite3 *db = m_db.get();
    SqlTransaction transaction(db);
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    SqlStatement head(db,
                      QStringLiteral("UPDATE Kettenkopf SET GeprueftBeleg = ?1,"
                                     " GeprueftAbschluss = ?2, GeprueftKopf = ?3"));
    if (!head.bind(1, m_nextNumber - 1) || !head.bind(2, m_nextClosing - 1)
        || !head.bind(3, QString::fromLatin1(m_previous.toHex())) || !head.run())
        return Failure(head.failure());
    for (const auto &station : m_stations) {
        SqlStatement point(
            db,
            forStation("INSERT OR REPLACE INTO Kettenstand (Station, AnfangZeile,"
                       " AnfangMinuten, AnfangEntgeld, Zeile, Minuten, Entgeld)"
                       " SELECT %1, ifnull((SELECT AnfangZeile FROM Kettenstand"
                       " WHERE Station = %1), 0), ifnull((SELECT AnfangMinuten FROM"
                       " Kettenstand WHERE Station = %1), 0), ifnull((SELECT AnfangEntgeld"
                       " FROM Kettenstand WHERE Station = %1), 0), ?1,"
                       " ifnull((SELECT Nutzungszeit FROM client%1stat LIMIT 1), ?2),"
                       " ifnull((SELECT money(Entgeld) FROM client%1stat LIMIT 1), ?3)",
                       station->number));
        if (!point.bind(1, station->lastRowid) || !point.bind(2, station->minutes)
            || !point.bind(3, station->feeUnits) || !point.run())
            return Failure(point.failure());
    }
    return transaction.commit() ? Failure::none() : Failure(transaction.failure());
}

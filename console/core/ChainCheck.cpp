#include "ChainCheck.h"

#include "ChainHash.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "TextFormats.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

using SqlRun::forStation;

namespace {
// Rows read at a time on the console's connection.
constexpr int rowsPerRead = 1024;
// How long a step waits for the readers before it gives the window its turn.
constexpr auto readersWait = std::chrono::milliseconds(50);

QByteArray decodedHash(QByteArrayView stored)
{
    return QByteArray::fromHex(stored.toByteArray());
}

// Decrypting the pages takes most of a whole check, comparing the hashes here the
// rest: a reader a processor but for this one, at least two, and no more than the
// sources.
size_t readerCount(int sources)
{
    const auto processors = int(std::thread::hardware_concurrency());
    return size_t(std::min(sources, std::clamp(processors - 1, 2, 4)));
}
}

// Where a station's records or the closings come from: a reader's queue, or a
// source read here, and the rows at hand.
struct ChainCheck::Feed
{
    ChainReader *reader = nullptr;
    int queue = 0;
    std::unique_ptr<ChainSource> source;
    ChainRows rows;
    qsizetype at = 0;
    bool starving = true; // its next rows are still to be taken

    bool pending() const { return !starving && at < rows.size(); }
    const ChainRows::Row &row() const { return rows[at]; }
};

// One station's records in the order they were written, and the totals they give.
struct ChainCheck::Station
{
    int number = 0;
    QByteArray kind; // of its entries on the chain
    Feed feed;
    qint64 lastRowid = 0;
    qint64 minutes = 0;
    qint64 feeUnits = 0;
    std::optional<std::pair<qint64, qint64>> stored; // its totals row: minutes, fees

    std::optional<qint64> recordNumber() const { return feed.row().number; }
};

ChainCheck::ChainCheck(const SqlConnection &db, const QString &path, int stations, Scope scope)
    : m_db(db)
    , m_closings(std::make_unique<Feed>())
{
    for (int station = 1; station <= stations; ++station) {
        auto entry = std::make_shared<Station>();
        entry->number = station;
        entry->kind = QByteArray("B") + QByteArray::number(station);
        m_stations.append(entry);
    }
    if (const Failure failure = begin(scope, path)) {
        m_findings.append(QStringLiteral("Die Kette ist nicht lesbar: ") + failure.text());
        m_done = true;
    }
}

ChainCheck::~ChainCheck() = default;

// Where the check begins and ends, the totals expected and those stored are read at
// one moment, on the console's connection: the rows the console adds while the
// readers read lie past the last rows the check takes.
Failure ChainCheck::begin(Scope scope, const QString &path)
{
    sqlite3 *db = m_db.get();
    const bool whole = scope == Whole;
    if (whole)
        openReaders(path);
    SqlStatement head(db,
                      QStringLiteral("SELECT %1, (SELECT Letzte FROM Belegnummer),"
                                     " (SELECT max(Nummer) FROM Abschluesse) FROM Kettenkopf")
                          .arg(whole ? QStringLiteral("AnfangBeleg, AnfangAbschluss, ''")
                                     : QStringLiteral("GeprueftBeleg + 1, GeprueftAbschluss + 1,"
                                                      " GeprueftKopf")));
    if (!head.next())
        return Failure(head.failure());
    m_nextNumber = head.integer(0).value_or(1);
    m_nextClosing = head.integer(1).value_or(1);
    m_previous = decodedHash(head.bytes(2));
    m_lastNumber = head.integer(3).value_or(0);
    const qint64 lastClosing = head.integer(4).value_or(0);
    m_total = qMax<qint64>(0, m_lastNumber - m_nextNumber + 1);

    size_t slot = 0;
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
        readTotals(*station);
        sqlite3 *reading = connectionFor(slot);
        if (const Failure failure
            = feed(station->feed, slot++,
                   ChainSource::records(reading, station->number, station->lastRowid,
                                        lastRowid(station->number))))
            return failure;
    }
    if (const Failure failure
        = feed(*m_closings, slot,
               ChainSource::closings(connectionFor(slot), m_nextClosing, lastClosing)))
        return failure;
    for (const auto &reader : m_readers)
        reader->start();
    return Failure::none();
}

// Readers that can't open leave the check to the console's connection.
void ChainCheck::openReaders(const QString &path)
{
    for (size_t count = readerCount(int(m_stations.size()) + 1); count > 0; --count) {
        m_readers.push_back(std::make_unique<ChainReader>(path));
        if (m_readers.back()->failure()) {
            m_readers.clear();
            return;
        }
    }
}

sqlite3 *ChainCheck::connectionFor(size_t slot) const
{
    return m_readers.empty() ? m_db.get() : m_readers[slot % m_readers.size()]->connection();
}

void ChainCheck::readTotals(Station &station)
{
    SqlStatement totals(m_db.get(),
                        forStation("SELECT Nutzungszeit, money(Entgeld) FROM client%1stat LIMIT 1",
                                   station.number));
    if (totals.next())
        station.stored = std::pair(totals.integer(0).value_or(0), totals.integer(1).value_or(0));
}

// Read on the console's connection, a station's records are read to the end as it
// finds it: the check at start reads them in one go.
qint64 ChainCheck::lastRowid(int station) const
{
    if (m_readers.empty())
        return std::numeric_limits<qint64>::max();
    SqlStatement last(m_db.get(), forStation("SELECT max(rowid) FROM client%1", station));
    return last.next() ? last.integer(0).value_or(0) : 0;
}

Failure ChainCheck::feed(Feed &feed, size_t slot, std::unique_ptr<ChainSource> source)
{
    if (const Failure failure = source->failure())
        return failure;
    if (m_readers.empty()) {
        feed.source = std::move(source);
    } else {
        feed.reader = m_readers[slot % m_readers.size()].get();
        feed.queue = feed.reader->add(std::move(source));
    }
    m_feeds.push_back(&feed);
    ++m_starving;
    return Failure::none();
}

// Takes the next rows of every feed that has used its own; false when a reader has
// not read them by the deadline.
bool ChainCheck::fed(const ChainReader::Deadline &deadline)
{
    for (Feed *feed : m_feeds) {
        if (!feed->starving)
            continue;
        std::optional<ChainRows> rows = feed->reader ? feed->reader->take(feed->queue, deadline)
                                                     : feed->source->read(rowsPerRead);
        if (!rows)
            return false;
        if (!rows->failure().isEmpty())
            m_findings.append(QStringLiteral("Die Kette ist nicht lesbar: ") + rows->failure());
        feed->rows = std::move(*rows);
        feed->at = 0;
        feed->starving = false;
        --m_starving;
    }
    return true;
}

void ChainCheck::advance(Feed &feed)
{
    ++feed.at;
    if (feed.at >= feed.rows.size() && !feed.rows.isLast()) {
        feed.starving = true;
        ++m_starving;
    }
}

// The station whose next record has the lowest number; one without a number first.
ChainCheck::Station *ChainCheck::nextRecord()
{
    Station *next = nullptr;
    for (const auto &station : m_stations) {
        if (!station->feed.pending())
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
    return step(entries, std::chrono::steady_clock::now() + readersWait);
}

void ChainCheck::run()
{
    while (step(10'000, std::nullopt)) { }
}

bool ChainCheck::step(int entries, const ChainReader::Deadline &deadline)
{
    for (; !m_done && entries > 0; --entries) {
        if (m_starving > 0 && !fed(deadline))
            return true;
        Station *station = nextRecord();
        const bool closingFirst = m_closings->pending()
            && (!station || m_closings->row().lastRecord < station->recordNumber().value_or(0));
        if (closingFirst)
            checkClosing();
        else if (station)
            checkRecord(*station);
        else
            finish();
    }
    return !m_done;
}

void ChainCheck::checkRecord(Station &station)
{
    const ChainRows &rows = station.feed.rows;
    const ChainRows::Row &row = station.feed.row();
    ++m_checked;
    station.lastRowid = row.rowid;
    station.minutes += row.minutes;
    station.feeUnits += row.fee;
    const std::optional<qint64> number = row.number;
    if (!number || *number < m_nextNumber || *number > m_lastNumber) {
        m_findings.append(
            QStringLiteral("Station %1: Ein Beleg (%2, %3 bis %4, %5) wurde außerhalb von Kavo"
                           " eingefügt.")
                .arg(QString::number(station.number),
                     number ? QStringLiteral("Nr. ") + QString::number(*number)
                            : QStringLiteral("ohne Nummer"),
                     QString::fromUtf8(rows.part(row, ChainRows::Start)),
                     QString::fromUtf8(rows.part(row, ChainRows::Stop)),
                     TextFormats::money(row.fee)));
        advance(station.feed);
        return;
    }
    const bool gap = *number > m_nextNumber;
    if (gap)
        noteMissingRecords(*number - 1);
    if (!follows(station.kind, rows, row, gap))
        m_findings.append(
            QStringLiteral("Station %1: Beleg Nr. %2 wurde außerhalb von Kavo geändert.")
                .arg(QString::number(station.number), QString::number(*number)));
    m_nextNumber = *number + 1;
    advance(station.feed);
}

void ChainCheck::checkClosing()
{
    const ChainRows::Row &row = m_closings->row();
    const qint64 number = row.number.value_or(0);
    const bool gap = number > m_nextClosing;
    if (gap)
        m_findings.append(
            QStringLiteral("Abschluss Nr. %1 fehlt: er wurde außerhalb von Kavo gelöscht.")
                .arg(m_nextClosing));
    if (!follows("A", m_closings->rows, row, gap))
        m_findings.append(
            QStringLiteral("Abschluss Nr. %1 wurde außerhalb von Kavo geändert.").arg(number));
    m_nextClosing = number + 1;
    advance(*m_closings);
}

// Whether the entry's stored hash follows from the previous entry and its fields (after
// a gap it cannot); either way the stored hash is the previous one for the next entry.
// The hash is compared as the console writes it, in lower-case hex; a hash stored
// otherwise is read as hex.
bool ChainCheck::follows(QByteArrayView kind, const ChainRows &rows, const ChainRows::Row &row,
                         bool gap)
{
    const QByteArrayView stored = rows.part(row, ChainRows::Hash);
    if (gap) {
        m_previous = decodedHash(stored);
        return true;
    }
    const QByteArrayView hash = m_hash.of(m_previous, kind, rows.part(row, ChainRows::Fields));
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
    if (m_lastNumber >= m_nextNumber)
        noteMissingRecords(m_lastNumber);
    compareTotals();
}

// The records from the next number expected to `last` are not in the book.
void ChainCheck::noteMissingRecords(qint64 last)
{
    m_findings.append(
        last == m_nextNumber
            ? QStringLiteral("Beleg Nr. %1 fehlt: er wurde außerhalb von Kavo gelöscht.").arg(last)
            : QStringLiteral("Belege Nr. %1 bis %2 fehlen: sie wurden außerhalb von Kavo"
                             " gelöscht.")
                  .arg(QString::number(m_nextNumber), QString::number(last)));
}

void ChainCheck::compareTotals()
{
    for (const auto &station : m_stations) {
        if (!station->stored)
            continue;
        const auto [minutes, fees] = *station->stored;
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

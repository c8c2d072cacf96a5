#include "ChainSource.h"

#include "Billing.h"
#include "ChainHash.h"
#include "RecordChain.h"
#include "SqlRun.h"

#include <algorithm>

namespace {
constexpr int rowsReserved = 128;
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
}

std::unique_ptr<ChainSource> ChainSource::records(sqlite3 *db, int station, qint64 afterRowid,
                                                  qint64 lastRowid)
{
    using SqlRun::forStation;
    const QString sql
        = QStringLiteral("SELECT rowid, %1, %2, %3 FROM %4 WHERE rowid > ?1 AND rowid <= ?2"
                         " ORDER BY rowid LIMIT ?3")
              .arg(forStation("client%1nummer, client%1start, client%1ende, client%1dauer,"
                              " client%1kosten",
                              station),
                   ChainHash::fieldsOf(RecordChain::hashedRecordFields(station)),
                   forStation("client%1kette", station), forStation("client%1", station));
    return std::unique_ptr<ChainSource>(new ChainSource(db, sql, afterRowid, lastRowid, false));
}

std::unique_ptr<ChainSource> ChainSource::closings(sqlite3 *db, qint64 from, qint64 last)
{
    const QString sql = QStringLiteral("SELECT Nummer, NachBeleg, %1, Kette FROM Abschluesse"
                                       " WHERE Nummer >= ?1 AND Nummer <= ?2 ORDER BY Nummer")
                            .arg(ChainHash::fieldsOf(RecordChain::hashedClosingFields()));
    return std::unique_ptr<ChainSource>(new ChainSource(db, sql, from, last, true));
}

ChainSource::ChainSource(sqlite3 *db, const QString &sql, qint64 after, qint64 last, bool closings)
    : m_rows(db, sql)
    , m_closings(closings)
    , m_after(after)
    , m_last(last)
{
}

Failure ChainSource::failure() const
{
    return m_rows.isValid() ? Failure::none() : Failure(m_rows.failure());
}

ChainRows ChainSource::read(int count)
{
    // A reader's run is mostly full; one read here, at start, mostly holds a few.
    ChainRows rows(m_closings ? 0 : std::min(count, rowsReserved));
    const bool bound = m_rows.rewind() && m_rows.bind(1, m_after) && m_rows.bind(2, m_last)
        && (m_closings || m_rows.bind(3, qint64(count)));
    while (bound && m_rows.next()) {
        if (m_closings)
            readClosing(rows);
        else
            readRecord(rows);
    }
    if (!bound || !m_rows.reachedEnd())
        rows.markLast(m_rows.failure());
    else if (m_closings || rows.size() < count)
        rows.markLast();
    return rows;
}

void ChainSource::readRecord(ChainRows &rows)
{
    ChainRows::Row row;
    row.rowid = m_rows.integer(0).value_or(0);
    m_after = row.rowid;
    row.number = m_rows.integer(numberColumn);
    const qint64 seconds
        = Billing::durationSeconds(QString::fromUtf8(m_rows.bytes(durationColumn)));
    row.minutes = seconds < 0 ? -Billing::wholeMinutes(-seconds) : Billing::wholeMinutes(seconds);
    // Fees are whole ten-thousandths; only one typed in by hand needs reading as money.
    row.fee = m_rows.typeLetter(feeColumn) == 'I' ? m_rows.integer(feeColumn).value_or(0)
                                                  : m_rows.money(feeColumn).value_or(0);
    rows.append(row,
                {m_rows.bytes(recordFieldsColumn), m_rows.bytes(recordFieldsColumn + 1),
                 m_rows.bytes(startColumn), m_rows.bytes(stopColumn)});
}

void ChainSource::readClosing(ChainRows &rows) const
{
    ChainRows::Row row;
    row.number = m_rows.integer(0).value_or(0);
    row.lastRecord = m_rows.integer(lastRecordColumn).value_or(0);
    rows.append(row, {m_rows.bytes(closingFieldsColumn), m_rows.bytes(closingFieldsColumn + 1)});
}

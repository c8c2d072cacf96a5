#pragma once

#include "ChainHash.h"
#include "ChainReader.h"
#include "ChainRows.h"
#include "Failure.h"
#include "SqlConnection.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A check of the book's chain (see RecordChain), in steps so that a window stays
// responsive while millions of entries are read. It walks the records of every
// station and the closings in the order of their numbers and names what it finds:
// a record or closing deleted (a number missing), inserted (a number seen twice, out
// of order or none), changed (its hash no longer follows), and a station whose
// totals row no longer equals its records.
// The whole check reads the rows on readers of their own (ChainReader), each a share
// of the stations, while the hashes are compared here in the order of the numbers;
// the check from the last one reads its few rows on the console's connection.
class ChainCheck
{
public:
    // From where the last check at start got to, or from the book's first entry.
    enum Scope { SinceLastCheck, Whole };

    ChainCheck(const SqlConnection &db, const QString &path, int stations, Scope scope);
    ~ChainCheck();
    ChainCheck(const ChainCheck &) = delete;
    ChainCheck &operator=(const ChainCheck &) = delete;

    // Checks up to `entries` further entries; false once all are checked (then the
    // totals have been compared too). Returns early, with fewer checked, when the
    // readers have not read on for a short while.
    bool step(int entries);
    // Runs the check to its end.
    void run();

    // The records checked so far (the closings are checked beside them).
    qint64 checked() const { return m_checked; }
    // About how many entries there are to check.
    qint64 total() const { return m_total; }
    const QStringList &findings() const { return m_findings; }

    // Notes where this check got to, so that the next start goes on from there; the
    // totals as they stand now become those the next check expects.
    Failure keep();

private:
    struct Feed;
    struct Station;
    Failure begin(Scope scope, const QString &path);
    void openReaders(const QString &path);
    sqlite3 *connectionFor(size_t slot) const;
    void readTotals(Station &station);
    qint64 lastRowid(int station) const;
    Failure feed(Feed &feed, size_t slot, std::unique_ptr<ChainSource> source);
    bool step(int entries, const ChainReader::Deadline &deadline);
    bool fed(const ChainReader::Deadline &deadline);
    void advance(Feed &feed);
    Station *nextRecord();
    void checkRecord(Station &station);
    void checkClosing();
    bool follows(QByteArrayView kind, const ChainRows &rows, const ChainRows::Row &row, bool gap);
    void compareTotals();
    void finish();
    void noteMissingRecords(qint64 last);

    const SqlConnection &m_db;
    std::vector<std::unique_ptr<ChainReader>> m_readers;
    QList<std::shared_ptr<Station>> m_stations;
    std::unique_ptr<Feed> m_closings;
    std::vector<Feed *> m_feeds;
    int m_starving = 0; // feeds waiting for their next rows
    QByteArray m_previous;
    ChainHash m_hash;
    qint64 m_nextNumber = 0;
    qint64 m_nextClosing = 0;
    qint64 m_lastNumber = 0; // the last number the console gave
    qint64 m_checked = 0;
    qint64 m_total = 0;
    bool m_done = false;
    QStringList m_findings;
};

#pragma once

#include "ChainRows.h"
#include "Failure.h"
#include "SqlStatement.h"

#include <memory>

struct sqlite3;

// One station's records in the order they were written, or the closings in the order
// of their numbers, up to the last there was when the check began, read in runs for a
// check of the chain (see ChainCheck). Each run is a read of its own, so that the
// file stays free for writing between runs: the console only adds rows past the
// bound. The connection must know the SQL function of the hashed fields
// (ChainHash::install).
class ChainSource
{
public:
    // The station's records after the row `afterRowid` up to the row `lastRowid`.
    static std::unique_ptr<ChainSource> records(sqlite3 *db, int station, qint64 afterRowid,
                                                qint64 lastRowid);
    // The closings numbered `from` to `last`, in one run: they are a few a day.
    static std::unique_ptr<ChainSource> closings(sqlite3 *db, qint64 from, qint64 last);

    // Why the rows can't be read, when the query could not be made.
    Failure failure() const;
    // The next rows, at most `count` of a station's; the last run is marked so.
    ChainRows read(int count);

private:
    ChainSource(sqlite3 *db, const QString &sql, qint64 after, qint64 last, bool closings);
    void readRecord(ChainRows &rows);
    void readClosing(ChainRows &rows) const;

    SqlStatement m_rows;
    bool m_closings;
    qint64 m_after; // the row a station's next run begins after
    qint64 m_last;
};

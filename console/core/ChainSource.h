#pragma once

#include "ChainRows.h"
#include "Failure.h"
#include "SqlStatement.h"

#include <memory>

struct sqlite3;

// One station's records in the order they were written, or the closings in the order
// of their numbers, read in runs for a check of the chain (see ChainCheck). The
// connection must know the SQL function of the hashed fields (ChainHash::install).
class ChainSource
{
public:
    // The station's records after the row `afterRowid`.
    static std::unique_ptr<ChainSource> records(sqlite3 *db, int station, qint64 afterRowid);
    // The closings from number `from` on.
    static std::unique_ptr<ChainSource> closings(sqlite3 *db, qint64 from);

    // Why the rows can't be read, when the query could not be made.
    Failure failure() const;
    // The next rows, at most `count`; the last run is marked so.
    ChainRows read(int count);

private:
    ChainSource(sqlite3 *db, const QString &sql, qint64 from, bool closings);
    void readRecord(ChainRows &rows) const;
    void readClosing(ChainRows &rows) const;

    SqlStatement m_rows;
    bool m_closings;
    bool m_bound;
};

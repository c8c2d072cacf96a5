#include "SqlRun.h"

#include "SqlFailure.h"
#include "SqlStatement.h"

#include <sqlite3.h>

namespace SqlRun {

Failure exec(sqlite3 *db, const QString &sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return Failure::none();
    return Failure(SqlFailure::of(db));
}

Failure unlessDone(bool done, const SqlStatement &statement)
{
    if (done)
        return Failure::none();
    return Failure(statement.failure());
}

std::optional<qint64> singleValue(sqlite3 *db, const QString &select)
{
    SqlStatement query(db, select);
    if (!query.next())
        return std::nullopt;
    return query.integer(0);
}

QString forStation(const char *pattern, int station)
{
    return QString::fromLatin1(pattern).arg(station);
}

}

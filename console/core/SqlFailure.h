#pragma once

#include <QString>

struct sqlite3;

// What the operator reads when the database engine refuses: German, naming the file
// and what to do, with the engine's own words in brackets for whoever looks further.
namespace SqlFailure {
// For an engine result code (extended or primary) and the engine's own words.
QString text(int code, const QString &path, const QString &engineText);
// For the last failure the connection reports, read before anything else runs on it.
QString of(sqlite3 *db);
}

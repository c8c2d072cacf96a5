#pragma once

#include "Failure.h"

#include <QString>

#include <optional>

struct sqlite3;
class SqlStatement;

// Small steps on a database connection that every part of the usage database takes.
namespace SqlRun {
// Runs statements that give no rows, one after another up to the first that fails.
Failure exec(sqlite3 *db, const QString &sql);

// Nothing when the statement's work is `done`, else the reason it failed.
Failure unlessDone(bool done, const SqlStatement &statement);

// The first column of the first row as a whole number; nothing for no row or null.
std::optional<qint64> singleValue(sqlite3 *db, const QString &select);

// Fills in the station number for every %1 of a statement or name.
QString forStation(const char *pattern, int station);
}

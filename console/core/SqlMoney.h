#pragma once

#include "Failure.h"

#include <QtGlobal>

#include <optional>

#include <sqlite3.h>

// Money in the usage database: whole ten-thousandths of a euro as the console writes
// them, or euros with decimals as an operator may have typed them.
namespace SqlMoney {
// A fee or total column's value in ten-thousandths of a euro; nothing for null or
// no amount.
std::optional<qint64> units(sqlite3_value *value);
// Makes the SQL function money(x), `units` for the sums the engine computes, known
// to the connection.
Failure install(sqlite3 *db);
}

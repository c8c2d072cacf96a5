#include "SqlMoney.h"

#include "SqlFailure.h"
#include "StoredMoney.h"

#include <QString>

#include <sqlite3.h>

namespace {
void moneyFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (const std::optional<qint64> units = SqlMoney::units(arguments[0]))
        sqlite3_result_int64(context, *units);
    else
        sqlite3_result_null(context);
}
}

namespace SqlMoney {
std::optional<qint64> units(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return sqlite3_value_int64(value);
    case SQLITE_FLOAT:
        return StoredMoney::fromReal(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return StoredMoney::fromText(QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_value_text(value)), sqlite3_value_bytes(value)));
    default:
        return std::nullopt;
    }
}

Failure install(sqlite3 *db)
{
    if (sqlite3_create_function_v2(db, "money", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   &moneyFunction, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return Failure(SqlFailure::of(db));
    return Failure::none();
}
}

#include "ChainHash.h"

#include <sqlite3.h>

namespace {
void fieldsFunction(sqlite3_context *context, int count, sqlite3_value **arguments)
{
    static const char letters[] = "?IRTBN";
    // Kept between rows, so that a check of millions of them allocates once.
    thread_local QByteArray fields;
    fields.clear();
    for (int index = 0; index < count; ++index) {
        sqlite3_value *value = arguments[index];
        const int type = sqlite3_value_type(value);
        fields.append('\x1f');
        fields.append(letters[type >= SQLITE_INTEGER && type <= SQLITE_NULL ? type : 0]);
        if (type == SQLITE_NULL)
            continue;
        const void *data = type == SQLITE_BLOB
            ? sqlite3_value_blob(value)
            : static_cast<const void *>(sqlite3_value_text(value));
        fields.append(static_cast<const char *>(data), sqlite3_value_bytes(value));
    }
    sqlite3_result_blob(context, fields.constData(), int(fields.size()), SQLITE_TRANSIENT);
}
}

bool ChainHash::install(sqlite3 *db)
{
    return sqlite3_create_function_v2(db, "kettenfelder", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                      nullptr, &fieldsFunction, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

QString ChainHash::fieldsOf(const QString &fields)
{
    return QStringLiteral("kettenfelder(%1)").arg(fields);
}

ChainHash::ChainHash()
    : m_hash(QCryptographicHash::Sha256)
{
}

QByteArrayView ChainHash::of(QByteArrayView previous, QByteArrayView kind, QByteArrayView fields)
{
    m_hash.reset();
    m_hash.addData(previous);
    m_hash.addData(kind);
    m_hash.addData(fields);
    return m_hash.resultView();
}

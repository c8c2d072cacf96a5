#include "ChainHash.h"

#include "SqlFailure.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>

#include <openssl/evp.h>
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

Failure ChainHash::install(sqlite3 *db)
{
    if (sqlite3_create_function_v2(db, "kettenfelder", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, &fieldsFunction, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return Failure(SqlFailure::of(db));
    return Failure::none();
}

QString ChainHash::fieldsOf(const QString &fields)
{
    return QStringLiteral("kettenfelder(%1)").arg(fields);
}

ChainHash::ChainHash()
    : m_sha256(EVP_MD_fetch(nullptr, "SHA256", nullptr))
    , m_context(EVP_MD_CTX_new())
{
}

ChainHash::~ChainHash()
{
    EVP_MD_CTX_free(m_context);
    EVP_MD_free(m_sha256);
}

QByteArrayView ChainHash::of(QByteArrayView previous, QByteArrayView kind, QByteArrayView fields)
{
    auto *result = reinterpret_cast<unsigned char *>(m_result.data());
    const bool done = m_sha256 && m_context && EVP_DigestInit_ex2(m_context, m_sha256, nullptr)
        && EVP_DigestUpdate(m_context, previous.data(), size_t(previous.size()))
        && EVP_DigestUpdate(m_context, kind.data(), size_t(kind.size()))
        && EVP_DigestUpdate(m_context, fields.data(), size_t(fields.size()))
        && EVP_DigestFinal_ex(m_context, result, nullptr);
    if (!done) {
        // Where the library can't, Qt's hash gives the same bytes.
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(previous);
        hash.addData(kind);
        hash.addData(fields);
        const QByteArrayView qt = hash.resultView();
        std::copy(qt.begin(), qt.end(), m_result.begin());
    }
    return QByteArrayView(m_result.data(), qsizetype(m_result.size()));
}

#pragma once

#include "Failure.h"

#include <QByteArrayView>
#include <QString>

#include <array>

struct sqlite3;
struct evp_md_st;
struct evp_md_ctx_st;

// The hash of an entry on the book's chain (see RecordChain): SHA-256 over the
// previous entry's hash, the entry's kind and its fields, each field as a separator,
// its type letter (N null, I integer, R real, T text, B blob) and its bytes as the
// engine writes them out. The SQL function kettenfelder(...) gives a row's fields in
// that form, so that a check reads one column a row instead of every field. The
// hash is OpenSSL's, which uses the processor's SHA instructions where it has them:
// a whole check hashes millions of entries.
class ChainHash
{
public:
    // Makes kettenfelder(...) known to the connection.
    [[nodiscard]] static Failure install(sqlite3 *db);
    // The SQL that gives the listed fields in their hashed form.
    static QString fieldsOf(const QString &fields);

    ChainHash();
    ~ChainHash();
    ChainHash(const ChainHash &) = delete;
    ChainHash &operator=(const ChainHash &) = delete;

    // The entry's hash, valid until the next call.
    QByteArrayView of(QByteArrayView previous, QByteArrayView kind, QByteArrayView fields);

private:
    evp_md_st *m_sha256;
    evp_md_ctx_st *m_context;
    std::array<char, 32> m_result{};
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QString>

struct sqlite3;

// The hash of an entry on the book's chain (see RecordChain): SHA-256 over the
// previous entry's hash, the entry's kind and its fields, each field as a separator,
// its type letter (N null, I integer, R real, T text, B blob) and its bytes as the
// engine writes them out. The SQL function kettenfelder(...) gives a row's fields in
// that form, so that a check reads one column a row instead of every field.
class ChainHash
{
public:
    // Makes kettenfelder(...) known to the connection.
    static bool install(sqlite3 *db);
    // The SQL that gives the listed fields in their hashed form.
    static QString fieldsOf(const QString &fields);

    ChainHash();
    // The entry's hash, valid until the next call.
    QByteArrayView of(QByteArrayView previous, QByteArrayView kind, QByteArrayView fields);

private:
    QCryptographicHash m_hash;
};

#pragma once

#include "Failure.h"
#include "Result.h"
#include "SqlConnection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class SqlStatement;

// The book's chain: once the owner is set up, every record (counter-records and
// corrected starts included) and every closing carries a SHA-256 over its own
// fields and the previous entry's hash, in the order of the records' numbers, a
// closing after the last record it saw. A record deleted, inserted or changed
// outside Kavo then breaks the chain where it happened (see ChainCheck).
//
// Tables: Kettenkopf (one row: the first record number chained, the first closing,
// the head's hash and what the last check reached) and Kettenstand (per station the
// last record checked and the totals expected there).
class RecordChain
{
public:
    // The record columns the book adds to every station table, after the dating ones:
    // the real start and the fee it would have given where the start was corrected,
    // the number of the record a counter-record voids and why, and the chain's hash.
    static QStringList bookColumns(int station);
    // The fields of a record that the hash covers, in order.
    static QString hashedRecordFields(int station);
    static constexpr int hashedRecordFieldCount = 15;
    static QString hashedClosingFields();

    RecordChain(const SqlConnection &db, const int &stations);

    // Reads whether the book is kept in this file and makes the chain's SQL function
    // known to the connection; called once it is open.
    void refresh();
    bool isActive() const { return m_active; }

    // Starts the book at the next record and closing: adds the columns and tables.
    // Runs in the caller's transaction.
    Failure start();
    // Gives the station's table the book's columns where it lacks them.
    Failure prepare(int station);

    // Seals the record just written (by its rowid) or the closing just saved onto the
    // chain, in the caller's transaction; nothing while the book is not kept.
    Failure sealRecord(int station, qint64 rowid);
    Failure sealClosing(int number);
    // The closing saved last, sealed; gives its number.
    Result<int> sealNewestClosing();
    // Saves a closing and seals it, in a transaction of its own: `select` gives the
    // entry's Nummer, Art, Von, Bis, Erstellt, Bediener, Zahlen and Fingerabdruck
    // followed by %1 (see closingLinkValue), and `bind` its parameters. Gives the
    // entry's number.
    Result<int> saveClosing(const QString &select, const std::function<bool(SqlStatement &)> &bind);
    // What an insert into Abschluesse names after its own columns, and selects after
    // its own values, so that a closing knows the last record before it; nothing
    // while the book is not kept.
    QString closingLinkColumn() const;
    QString closingLinkValue() const;
    // The hash of the last entry, hex; empty while the book is not kept.
    QString head() const;

private:
    Failure seal(const QString &select, const QString &update, const QByteArray &kind, qint64 key);

    const SqlConnection &m_db;
    const int &m_stations;
    bool m_active = false;
};

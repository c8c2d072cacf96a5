#pragma once

#include "Failure.h"
#include "SqlConnection.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

class RecordChain;
struct Closing;

// A day's closing opened again: which, when, by whom and why.
struct ClosingReopening
{
    int number = 0; // the reopening's own entry
    int closingNumber = 0;
    QDateTime made;
    QString operatorName;
    QString reason;
    bool operator==(const ClosingReopening &) const = default;
};

// The reopenings of day closings. A closing is never deleted: reopening it adds an
// entry of its own to the closings' table (Art "Wiedereröffnung", numbered and
// chained like every closing, the reason in its figures), after which the day can
// be closed again with a new number. Only the owner reopens: where one is set up,
// his PIN is asked for every time.
class ClosingReopenings
{
public:
    static const QString kind;

    ClosingReopenings(const SqlConnection &db, RecordChain &chain);

    // Whether reopening asks for the owner's PIN.
    bool needsOwnerPin() const;
    // Reopens a saved day closing not reopened yet. Noted under the owner's name
    // where one is set up, else under `operatorName`.
    Failure reopen(const Closing &closing, const QString &ownerPin, const QString &operatorName,
                   const QString &reason);
    // The reopenings of the day's closings, oldest first.
    QList<ClosingReopening> ofDay(const QDate &day) const;
    static bool reopens(const QList<ClosingReopening> &reopenings, int closingNumber);

private:
    Failure check(const Closing &closing, const QString &ownerPin, const QString &reason) const;

    const SqlConnection &m_db;
    RecordChain &m_chain;
};

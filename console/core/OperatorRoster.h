#pragma once

#include "Failure.h"
#include "OnDuty.h"
#include "PinHash.h"
#include "Result.h"
#include "SqlConnection.h"

#include <QStringList>

// The owner and the operators (table Betreiber): a name and the hash of a PIN each,
// never the PIN itself. The owner's row is named "Inhaber". Without it the table
// is not there at all and the console runs unguarded.
class OperatorRoster
{
public:
    static const QString ownerName;

    explicit OperatorRoster(const SqlConnection &db,
                            const PinHash::Limits &limits = PinHash::interactive());

    bool hasOwner() const;
    // Whether the PIN is acceptable: at least 4 digits, nothing else.
    static Failure checkPin(const QString &pin);

    // The statements that make the table; run by whoever sets up the owner, in the
    // transaction that starts the book.
    static QString tableStatements();
    // Sets or changes the owner's PIN.
    Failure setOwnerPin(const QString &pin);
    // Adds an operator or gives him a new PIN.
    Failure setOperator(const QString &name, const QString &pin);
    Failure removeOperator(const QString &name);
    // The operators by name, without the owner.
    QStringList operatorNames() const;

    // Who the name and PIN are; a failure names what was wrong.
    Result<OnDuty> identify(const QString &name, const QString &pin) const;
    bool isOwnerPin(const QString &pin) const { return identify(ownerName, pin).hasValue(); }

private:
    Failure store(const QString &name, const QString &pin, bool owner);

    const SqlConnection &m_db;
    PinHash::Limits m_limits;
};

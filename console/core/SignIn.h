#pragma once

#include "OnDuty.h"
#include "Result.h"

#include <QString>

class Incidents;
class OperatorRoster;

// Signing in at the console: five wrong PINs in a row lock it for a minute, and
// the lock is noted for the owner.
class SignIn
{
public:
    static constexpr int attemptsBeforeLock = 5;
    static constexpr qint64 lockMs = 60'000;

    SignIn(const OperatorRoster &roster, Incidents &incidents);

    // Who signs in, or why not (wrong name or PIN, locked and for how long).
    Result<OnDuty> attempt(const QString &name, const QString &pin);
    bool isLocked() const;

private:
    Failure lockedFailure() const;

    const OperatorRoster &m_roster;
    Incidents &m_incidents;
    int m_wrongInARow = 0;
    qint64 m_lockedUntilMs = -1;
};

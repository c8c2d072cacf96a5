#include "SignIn.h"

#include "Clock.h"
#include "Incidents.h"
#include "OperatorRoster.h"

SignIn::SignIn(const OperatorRoster &roster, Incidents &incidents)
    : m_roster(roster)
    , m_incidents(incidents)
{
}

bool SignIn::isLocked() const
{
    return m_lockedUntilMs >= 0 && Clock::current().elapsedMs() < m_lockedUntilMs;
}

Failure SignIn::lockedFailure() const
{
    const qint64 seconds = (m_lockedUntilMs - Clock::current().elapsedMs() + 999) / 1000;
    return Failure(QStringLiteral("Nach %1 falschen PINs ist die Anmeldung noch %2 s gesperrt.")
                       .arg(QString::number(attemptsBeforeLock), QString::number(seconds)));
}

Result<OnDuty> SignIn::attempt(const QString &name, const QString &pin)
{
    if (isLocked())
        return lockedFailure();
    Result<OnDuty> who = m_roster.identify(name, pin);
    if (who.hasValue()) {
        m_wrongInARow = 0;
        return who;
    }
    if (++m_wrongInARow < attemptsBeforeLock)
        return who;
    m_wrongInARow = 0;
    m_lockedUntilMs = Clock::current().elapsedMs() + lockMs;
    // The lock counts even when the note can't be written; the owner then misses it.
    (void)m_incidents.note(
        QStringLiteral("Anmeldung für eine Minute gesperrt: %1 falsche PINs in Folge, zuletzt"
                       " für „%2“.")
            .arg(QString::number(attemptsBeforeLock), name.trimmed()));
    return lockedFailure();
}

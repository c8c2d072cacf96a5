#include "PeriodMove.h"

#include "UsageLedger.h"

PeriodMove::PeriodMove(StationSession &from, StationSession &to, UsageLedger &ledger)
    : m_from(from)
    , m_to(to)
    , m_ledger(ledger)
{
}

Failure PeriodMove::check() const
{
    if (!m_from.periodMovable())
        return Failure(QStringLiteral("Auf Station %1 läuft keine Nutzung, die wechseln kann.")
                           .arg(m_from.station()));
    if (&m_from == &m_to || !m_to.takesMovedPeriod())
        return Failure(
            QStringLiteral("Station %1 ist nicht frei: Sie muss verbunden sein (oder „Ohne"
                           " Client“) und darf keine Nutzung haben.")
                .arg(m_to.station()));
    return Failure::none();
}

Failure PeriodMove::run()
{
    while (m_next != Step::Done) {
        if (Failure failure = step())
            return failure;
    }
    return Failure::none();
}

Failure PeriodMove::step()
{
    switch (m_next) {
    case Step::Save: {
        if (Failure refused = check())
            return refused;
        StationSession::MovingPeriod moving = *m_from.movingPeriod();
        OpenPeriod &period = moving.period;
        if (period.originStation == 0)
            period.originStation = period.station;
        period.station = m_to.station();
        if (Failure failure = m_ledger.update(period)) {
            return Failure(
                QStringLiteral("Station %1: Der Platzwechsel ließ sich nicht speichern (%2). Die"
                               " Nutzung läuft weiter auf Station %1.")
                    .arg(QString::number(m_from.station()), failure.text()));
        }
        m_moving = moving;
        m_next = Step::Release;
        break;
    }
    case Step::Release:
        m_from.releaseMovedPeriod();
        m_next = Step::Take;
        break;
    case Step::Take:
        m_to.takeMovedPeriod(*m_moving);
        m_next = Step::Done;
        break;
    case Step::Done:
        break;
    }
    return Failure::none();
}

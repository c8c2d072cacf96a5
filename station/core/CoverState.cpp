#include "CoverState.h"

CoverState::CoverState(bool lockActive, QObject *parent)
    : QObject(parent)
    , m_lockActive(lockActive)
    , m_covered(lockActive)
{
    connect(&m_coverTimer, &ClockTimer::timeout, this, [this] { setCovered(true); });
}

void CoverState::setPeriodRunning(bool running)
{
    if (!m_lockActive)
        return;
    if (running) {
        m_coverTimer.stop();
        setCovered(false);
    } else if (!m_covered) {
        m_coverTimer.start(coverDelayMs);
    }
}

void CoverState::setCovered(bool covered)
{
    if (covered == m_covered)
        return;
    m_covered = covered;
    emit coveredChanged(covered);
}

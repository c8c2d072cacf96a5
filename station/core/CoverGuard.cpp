#include "CoverGuard.h"

#include <utility>

CoverGuard::CoverGuard(QObject *parent)
    : QObject(parent)
{
    connect(&m_holdTimer, &ClockTimer::timeout, this, &CoverGuard::hold);
}

void CoverGuard::setCovered(bool covered)
{
    if (covered == (m_state != State::Uncovered))
        return;
    if (!covered) {
        m_holdTimer.stop();
        m_failureTold = false;
        enter(State::Uncovered);
        return;
    }
    enter(State::Unmapped);
    hold();
}

// A cover lost while it held the screen was taken away by another program: for
// that moment the lock was not in force.
void CoverGuard::coverLost()
{
    if (m_state == State::Uncovered)
        return;
    const bool takenAway = m_state == State::Holding;
    enter(State::Unmapped);
    hold();
    if (takenAway)
        tellFailure();
}

void CoverGuard::coverObscured()
{
    if (m_state != State::Uncovered)
        hold();
}

void CoverGuard::grabTaken()
{
    if (m_state == State::Uncovered)
        return;
    m_failureTold = false;
    enter(State::Holding);
    m_holdTimer.start(checkMs);
}

void CoverGuard::grabRefused()
{
    if (m_state == State::Uncovered)
        return;
    enter(State::GrabRefused);
    m_holdTimer.start(retryMs);
    tellFailure();
}

void CoverGuard::tellFailure()
{
    if (!std::exchange(m_failureTold, true))
        emit lockFailed();
}

void CoverGuard::enter(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

// The window answers with the grab's outcome, which sets the next look; should no
// answer come, the guard looks again soon.
void CoverGuard::hold()
{
    m_holdTimer.start(m_state == State::Holding ? checkMs : retryMs);
    emit holdDue();
}

#pragma once

#include "ClockTimer.h"

#include <QObject>

// Keeps the lock's cover in force against whatever else runs on the customer's
// display. The window reports what befalls the cover: taken off the screen or put
// below another window, keyboard and pointer taken or refused. The guard answers
// each with the order to hold the screen again (map, raise, grab), and repeats it
// every moment until keyboard and pointer are held; then it only checks now and
// then. A cover refused the input, because another program holds it, cannot lock,
// and one taken off the screen while it held it was not in force for a moment:
// that is told once for each time it happens, until the input is won back.
class CoverGuard : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Uncovered,   // no cover wanted
        Unmapped,    // wanted, but not (yet) on the screen or not on top
        GrabRefused, // on the screen, but another program holds keyboard or pointer
        Holding,     // on the screen with keyboard and pointer
    };

    // How soon the screen is held again while the cover is not in force.
    static constexpr qint64 retryMs = 50;
    // How often a cover in force is held again all the same.
    static constexpr qint64 checkMs = 250;

    explicit CoverGuard(QObject *parent = nullptr);

    State state() const { return m_state; }

    void setCovered(bool covered);
    // The cover was unmapped, hidden or found not viewable.
    void coverLost();
    // Another window came above the cover. The cover keeps the input meanwhile, so
    // it is only raised again: a desktop coming up below (the customer's next
    // session) maps its windows above the others.
    void coverObscured();
    // The answers to the window's attempt to take keyboard and pointer.
    void grabTaken();
    void grabRefused();

signals:
    // Map and raise the cover and take keyboard and pointer, now.
    void holdDue();
    void stateChanged(CoverGuard::State state);
    // The cover cannot keep keyboard and pointer from another program, or another
    // program took it away.
    void lockFailed();

private:
    void enter(State state);
    void hold();
    void tellFailure();

    State m_state = State::Uncovered;
    // The refusal was told, and the input not held since.
    bool m_failureTold = false;
    ClockTimer m_holdTimer;
};

#pragma once

#include "Failure.h"
#include "StationSession.h"

#include <optional>

class UsageLedger;

// Platz wechseln: a running period goes from its station to another that runs none,
// as one period from its original start. Its steps, in order: the open period is
// kept on disk on the new station (one statement, so that a restart finds it on
// one station or the other, never on both or neither); the old station lets it go
// without a record, its station told to stop; the new one takes it on with what is
// left of its time, its station told as a returning station is.
class PeriodMove
{
public:
    enum class Step { Save, Release, Take, Done };

    PeriodMove(StationSession &from, StationSession &to, UsageLedger &ledger);

    // Why the period cannot move; none when it can.
    Failure check() const;
    // All steps, or why none was taken.
    Failure run();
    // The next step; a failure leaves the period where it was.
    Failure step();
    Step nextStep() const { return m_next; }

private:
    StationSession &m_from;
    StationSession &m_to;
    UsageLedger &m_ledger;
    std::optional<StationSession::MovingPeriod> m_moving;
    Step m_next = Step::Save;
};

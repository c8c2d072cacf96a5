#pragma once

#include <QString>

// Who works the console now, and what he may do. Without an owner set up, the
// system user is on duty with every right, as the console always worked.
struct OnDuty
{
    enum Role { Owner, Operator, Unguarded };
    // The steps only the owner may take; an operator asks for the owner's PIN.
    enum Step { Options, OperatorList, Void, ReopenDay, ExportRecords };

    QString name;
    Role role = Unguarded;

    // An operator may move a period's start by this much at most.
    static constexpr qint64 operatorCorrectionSeconds = 5 * 60;

    bool may(Step) const { return role != Operator; }
    // Whether a correction of the start by `seconds` (either way) is his to make.
    bool mayCorrectBy(qint64 seconds) const
    {
        return role != Operator || (seconds < 0 ? -seconds : seconds) <= operatorCorrectionSeconds;
    }
};

#pragma once

#include "Closings.h"
#include "Result.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

class UsageRecorder;

// The Tagesabschluss and the Schichtabschluss as the operator works them: the day
// chosen or the shift on duty, with the periods running now, and closing either.
// What is saved is figured again at that moment, so its fingerprint holds the
// records as they stand when it is closed.
class ClosingDesk
{
public:
    using RunningFigures = std::function<QList<RunningFigure>()>;

    ClosingDesk(Closings &closings, const UsageRecorder &recorder, RunningFigures running);

    // Who is on duty: whose shift runs and who closes. The records name the same one.
    QString operatorOnDuty() const;

    // The day as closed, else as the records stand; today's lists the periods running.
    Result<Closing> day(const QDate &day) const;
    // The shift of the operator on duty from the last shift closing up to now.
    Result<Closing> shift() const;

    // Whether the closing can still be saved: not saved yet, and begun by now.
    bool mayClose(const Closing &closing) const;
    // Closes the day (once, and not before it begins), or the shift up to now,
    // which starts the next shift.
    Result<Closing> closeDay(const QDate &day);
    Result<Closing> closeShift();
    // Opens the day's closing again, so that the day can be closed anew; gives the
    // day as it then stands. Asks for the owner's PIN where one is set up.
    bool reopenNeedsOwnerPin() const;
    Result<Closing> reopenDay(const QDate &day, const QString &ownerPin, const QString &reason);

private:
    Result<Closing> saved(Result<Closing> closing);

    Closings &m_closings;
    const UsageRecorder &m_recorder;
    RunningFigures m_running;
};

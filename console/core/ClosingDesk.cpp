#include "ClosingDesk.h"

#include "Clock.h"
#include "UsageRecorder.h"

namespace {
Failure unreadable()
{
    return Failure(QStringLiteral("Die Aufzeichnungen lassen sich nicht lesen."));
}

Result<Closing> readOrFailure(std::optional<Closing> closing)
{
    if (!closing)
        return unreadable();
    return *std::move(closing);
}
}

ClosingDesk::ClosingDesk(Closings &closings, const UsageRecorder &recorder, RunningFigures running)
    : m_closings(closings)
    , m_recorder(recorder)
    , m_running(std::move(running))
{
}

QString ClosingDesk::operatorOnDuty() const
{
    return m_recorder.operatorName();
}

Result<Closing> ClosingDesk::day(const QDate &day) const
{
    const bool today = day == Clock::current().now().date();
    return readOrFailure(m_closings.day(day, today ? m_running() : QList<RunningFigure>()));
}

Result<Closing> ClosingDesk::shift() const
{
    return readOrFailure(m_closings.shift(Clock::current().now(), operatorOnDuty(), m_running()));
}

bool ClosingDesk::mayClose(const Closing &closing) const
{
    return !closing.isSaved() && closing.from <= Clock::current().now();
}

Result<Closing> ClosingDesk::closeDay(const QDate &day)
{
    return saved(this->day(day));
}

Result<Closing> ClosingDesk::closeShift()
{
    return saved(shift());
}

bool ClosingDesk::reopenNeedsOwnerPin() const
{
    return m_closings.reopenings().needsOwnerPin();
}

Result<Closing> ClosingDesk::reopenDay(const QDate &day, const QString &ownerPin,
                                       const QString &reason)
{
    const Result<Closing> closed = this->day(day);
    if (!closed.hasValue())
        return closed;
    if (const Failure failure
        = m_closings.reopenings().reopen(closed.value(), ownerPin, operatorOnDuty(), reason))
        return failure;
    return this->day(day);
}

Result<Closing> ClosingDesk::saved(Result<Closing> figured)
{
    if (!figured.hasValue())
        return figured;
    Closing closing = figured.value();
    if (closing.from > Clock::current().now())
        return Failure(QStringLiteral(
            "Ein Tag, der noch nicht begonnen hat, kann nicht abgeschlossen werden."));
    closing.operatorName = operatorOnDuty();
    if (const Failure failure = m_closings.save(closing))
        return failure;
    return closing;
}

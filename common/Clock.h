#pragma once

#include <QDateTime>

// The one source of time for both programs: the local date and time of day, a
// monotonic count of milliseconds that never jumps back, and the wait between two
// passes of a display loop. Tests install a clock whose time they move by hand.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    virtual qint64 elapsedMs() const = 0;

    // Handles the pending events, then keeps handling events until elapsedMs()
    // reaches `untilMs` or at least one new event has been handled.
    virtual void waitForEventsUntil(qint64 untilMs) = 0;

    // The clock in use; the system clock unless a test installed another.
    static Clock &current();
    static void install(Clock *clock);
};

class SystemClock final : public Clock
{
public:
    SystemClock();
    QDateTime now() const override;
    qint64 elapsedMs() const override;
    void waitForEventsUntil(qint64 untilMs) override;

private:
    qint64 m_origin;
};

// A clock that stands still until moved. A wait handles the pending events and
// then jumps straight to the awaited moment, so long periods run in no time.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(const QDateTime &start);
    QDateTime now() const override;
    qint64 elapsedMs() const override;
    void waitForEventsUntil(qint64 untilMs) override;

    void setNow(const QDateTime &moment);
    void advanceMs(qint64 ms);

private:
    QDateTime m_start;
    qint64 m_elapsed = 0;
};

// Installs a clock for the lifetime of the guard.
class ScopedClock
{
public:
    explicit ScopedClock(Clock &clock) { Clock::install(&clock); }
    ~ScopedClock() { Clock::install(nullptr); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};

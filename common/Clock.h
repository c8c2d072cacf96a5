#pragma once

#include <QDateTime>

#include <memory>
#include <vector>

class ClockTimer;

// The one source of time for both programs: the local date and time of day, a
// monotonic count of milliseconds that never jumps back, and the wake-ups of
// ClockTimer on that count. Tests install a clock whose time they move by hand.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    virtual qint64 elapsedMs() const = 0;

    // The clock in use; the system clock unless a test installed another.
    static Clock &current();
    static void install(Clock *clock);

protected:
    friend class ClockTimer;
    // Makes `timer` fire once elapsedMs() has reached `dueMs`, replacing an earlier
    // wake-up of the same timer.
    virtual void schedule(ClockTimer &timer, qint64 dueMs) = 0;
    virtual void unschedule(ClockTimer &timer) = 0;
};

class SystemClock final : public Clock
{
public:
    SystemClock();
    QDateTime now() const override;
    qint64 elapsedMs() const override;

protected:
    void schedule(ClockTimer &timer, qint64 dueMs) override;
    void unschedule(ClockTimer &timer) override;

private:
    qint64 m_origin;
};

// A clock that stands still until moved. Wake-ups that fall due are delivered
// from the event loop, one at a time. Running freely, the clock moves on by itself
// to the next wake-up whenever the program has nothing else to do, so that a
// 420-minute period passes in a moment.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(const QDateTime &start);
    ~ManualClock() override;
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    QDateTime now() const override;
    qint64 elapsedMs() const override;

    void setNow(const QDateTime &moment);
    void advanceMs(qint64 ms);

    // Lets time run on by itself, at most a second per step.
    void runFreely();
    // Wake-ups land these many milliseconds after their due time (negative:
    // before it), taken in turn, as a real timer's do; only while running freely.
    void setWakeUpJitter(const QList<int> &offsetsMs);

protected:
    void schedule(ClockTimer &timer, qint64 dueMs) override;
    void unschedule(ClockTimer &timer) override;

private:
    class Driver;
    struct WakeUp
    {
        ClockTimer *timer;
        qint64 dueMs;
        quint64 order;
    };

    void step(bool idle);
    std::vector<WakeUp>::iterator earliest();
    void deliver(std::vector<WakeUp>::iterator wakeUp);
    void updateDriver();

    QDateTime m_start;
    qint64 m_elapsed = 0;
    std::vector<WakeUp> m_wakeUps;
    quint64 m_scheduled = 0;
    bool m_runningFreely = false;
    QList<int> m_jitter;
    qsizetype m_nextJitter = 0;
    std::unique_ptr<Driver> m_driver;
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

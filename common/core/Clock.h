#pragma once

#include <QDateTime>

#include <functional>
#include <memory>

// The one source of time for both programs: the local date and time of day, a
// monotonic count of milliseconds that never jumps back, and alarms on that count.
// Tests install a clock whose time they move by hand.
class Clock
{
public:
    // A wake-up on one clock's count: calls back once elapsedMs() has reached the
    // time it was set to.
    class Alarm
    {
    public:
        virtual ~Alarm() = default;

        // Setting it again replaces the earlier time.
        virtual void setAt(qint64 dueMs) = 0;
        virtual void cancel() = 0;
        virtual bool isPending() const = 0;
        // The clock it runs on; none once that clock went away.
        virtual const Clock *clock() const = 0;
    };

    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    virtual qint64 elapsedMs() const = 0;
    virtual std::unique_ptr<Alarm> createAlarm(std::function<void()> due) = 0;

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
    std::unique_ptr<Alarm> createAlarm(std::function<void()> due) override;

private:
    qint64 m_origin;
};

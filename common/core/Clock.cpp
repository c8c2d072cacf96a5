#include "Clock.h"

#include <QTimer>

#include <algorithm>
#include <limits>

#include <time.h>

namespace {
Clock *installedClock = nullptr;

// Time that never steps and goes on while the PC sleeps, so that a period over a
// suspend is billed for the time that really passed.
qint64 monotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// A precise single-shot system timer, started for the time left until the alarm is due.
class SystemAlarm final : public Clock::Alarm
{
public:
    SystemAlarm(const SystemClock &clock, std::function<void()> due)
        : m_clock(clock)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(due));
    }

    void setAt(qint64 dueMs) override
    {
        const qint64 left = dueMs - m_clock.elapsedMs();
        m_timer.start(int(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max())));
    }
    void cancel() override { m_timer.stop(); }
    bool isPending() const override { return m_timer.isActive(); }
    const Clock *clock() const override { return &m_clock; }

private:
    const SystemClock &m_clock;
    QTimer m_timer;
};
}

Clock &Clock::current()
{
    static SystemClock systemClock;
    return installedClock ? *installedClock : systemClock;
}

void Clock::install(Clock *clock)
{
    installedClock = clock;
}

SystemClock::SystemClock()
    : m_origin(monotonicMs())
{
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::elapsedMs() const
{
    return monotonicMs() - m_origin;
}

std::unique_ptr<Clock::Alarm> SystemClock::createAlarm(std::function<void()> due)
{
    return std::make_unique<SystemAlarm>(*this, std::move(due));
}

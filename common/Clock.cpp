#include "Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

namespace {
Clock *installedClock = nullptr;

qint64 monotonicMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
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

void SystemClock::waitForEventsUntil(qint64 untilMs)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const qint64 remaining = untilMs - elapsedMs();
    if (remaining > 0) {
        // Sleeps in the event dispatcher until an event arrives or the time is up.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(remaining));
    }
}

ManualClock::ManualClock(const QDateTime &start)
    : m_start(start)
{
}

QDateTime ManualClock::now() const
{
    return m_start.addMSecs(m_elapsed);
}

qint64 ManualClock::elapsedMs() const
{
    return m_elapsed;
}

void ManualClock::waitForEventsUntil(qint64 untilMs)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (untilMs > m_elapsed)
        m_elapsed = untilMs;
}

void ManualClock::setNow(const QDateTime &moment)
{
    m_start = moment.addMSecs(-m_elapsed);
}

void ManualClock::advanceMs(qint64 ms)
{
    m_elapsed += ms;
}

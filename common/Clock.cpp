#include "Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <limits>

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
    if (remaining <= 0)
        return;
    // Sleeps in the event dispatcher until an event arrives; the timer is the event
    // that comes when the time is up. (processEvents with a time limit would not
    // sleep at all: it drops WaitForMoreEvents and returns at once.)
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    wakeUp.start(int(qMin<qint64>(remaining, std::numeric_limits<int>::max())));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
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

#include "ClockTimer.h"

#include "Clock.h"

ClockTimer::ClockTimer(QObject *parent)
    : QObject(parent)
{
    m_systemTimer.setSingleShot(true);
    m_systemTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_systemTimer, &QTimer::timeout, this, &ClockTimer::fire);
}

ClockTimer::~ClockTimer()
{
    stop();
}

void ClockTimer::startAt(qint64 dueMs)
{
    stop();
    m_clock = &Clock::current();
    m_clock->schedule(*this, dueMs);
}

void ClockTimer::start(qint64 delayMs)
{
    startAt(Clock::current().elapsedMs() + delayMs);
}

void ClockTimer::stop()
{
    if (Clock *clock = std::exchange(m_clock, nullptr))
        clock->unschedule(*this);
}

void ClockTimer::fire()
{
    m_clock = nullptr;
    emit timeout();
}

#include "ClockTimer.h"

ClockTimer::ClockTimer(QObject *parent)
    : QObject(parent)
{
}

ClockTimer::~ClockTimer() = default;

void ClockTimer::startAt(qint64 dueMs)
{
    Clock &clock = Clock::current();
    if (!m_alarm || m_alarm->clock() != &clock)
        m_alarm = clock.createAlarm([this] { emit timeout(); });
    m_alarm->setAt(dueMs);
}

void ClockTimer::start(qint64 delayMs)
{
    startAt(Clock::current().elapsedMs() + delayMs);
}

void ClockTimer::stop()
{
    if (m_alarm)
        m_alarm->cancel();
}

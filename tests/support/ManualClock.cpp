#include "ManualClock.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

namespace {
// The longest step a freely running clock takes at once: an alarm further off is
// reached in steps, so that what the program does meanwhile keeps up with time.
constexpr qint64 freeStepMs = 1000;
}

// Delivers a manual clock's alarms from the event loop. It watches every event the
// program handles: the clock only runs on once a whole turn of the event loop went
// by with nothing to do, so that a message sent at one moment is read before the
// clock moves on; a program that is never idle still sees it move, every few turns.
class ManualClock::Driver final : public QObject
{
public:
    explicit Driver(ManualClock &clock)
        : m_clock(clock)
    {
        m_tick.setInterval(0);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            m_busyTurns = m_busy ? m_busyTurns + 1 : 0;
            m_busy = false;
            const bool idle = m_busyTurns == 0 || m_busyTurns >= maxBusyTurns;
            if (idle)
                m_busyTurns = 0;
            m_clock.step(idle);
        });
        QCoreApplication::instance()->installEventFilter(this);
    }

    void setActive(bool active)
    {
        if (active && !m_tick.isActive()) {
            m_busy = true;
            m_tick.start();
        } else if (!active) {
            m_tick.stop();
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != &m_tick)
            m_busy = true;
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int maxBusyTurns = 8;

    ManualClock &m_clock;
    QTimer m_tick;
    bool m_busy = false;
    int m_busyTurns = 0;
};

class ManualClock::ManualAlarm final : public Clock::Alarm
{
public:
    ManualAlarm(ManualClock &clock, std::function<void()> due)
        : m_clock(&clock)
        , m_due(std::move(due))
    {
        m_clock->m_alarms.push_back(this);
    }

    ~ManualAlarm() override
    {
        if (m_clock) {
            std::erase(m_clock->m_alarms, this);
            m_clock->updateDriver();
        }
    }

    void setAt(qint64 dueMs) override
    {
        if (!m_clock)
            return;
        m_dueMs = dueMs;
        m_order = m_clock->m_timesSet++;
        m_clock->updateDriver();
    }

    void cancel() override
    {
        m_dueMs.reset();
        if (m_clock)
            m_clock->updateDriver();
    }

    bool isPending() const override { return m_dueMs.has_value(); }
    const Clock *clock() const override { return m_clock; }

    ManualClock *m_clock;
    std::function<void()> m_due;
    std::optional<qint64> m_dueMs;
    quint64 m_order = 0;
};

ManualClock::ManualClock(const QDateTime &start)
    : m_start(start)
{
}

ManualClock::~ManualClock()
{
    for (ManualAlarm *alarm : m_alarms) {
        alarm->m_clock = nullptr;
        alarm->m_dueMs.reset();
    }
}

QDateTime ManualClock::now() const
{
    return m_start.addMSecs(m_elapsed);
}

qint64 ManualClock::elapsedMs() const
{
    return m_elapsed;
}

std::unique_ptr<Clock::Alarm> ManualClock::createAlarm(std::function<void()> due)
{
    return std::make_unique<ManualAlarm>(*this, std::move(due));
}

void ManualClock::setNow(const QDateTime &moment)
{
    m_start = moment.addMSecs(-m_elapsed);
}

void ManualClock::advanceMs(qint64 ms)
{
    m_elapsed += ms;
    updateDriver();
}

void ManualClock::settle()
{
    QCoreApplication::processEvents();
    for (ManualAlarm *next = earliest(); next && *next->m_dueMs <= m_elapsed; next = earliest()) {
        deliver(*next);
        QCoreApplication::processEvents();
    }
}

void ManualClock::runFreely()
{
    m_runningFreely = true;
    updateDriver();
}

void ManualClock::setWakeUpJitter(const QList<int> &offsetsMs)
{
    m_jitter = offsetsMs;
    m_nextJitter = 0;
}

ManualClock::ManualAlarm *ManualClock::earliest() const
{
    const auto turn
        = [](const ManualAlarm *alarm) { return std::pair(*alarm->m_dueMs, alarm->m_order); };
    ManualAlarm *first = nullptr;
    for (ManualAlarm *alarm : m_alarms) {
        if (alarm->isPending() && (!first || turn(alarm) < turn(first)))
            first = alarm;
    }
    return first;
}

// Delivers an alarm that is due; running freely and with the program idle, moves
// time on to the next alarm (or a second towards it) first.
void ManualClock::step(bool idle)
{
    ManualAlarm *next = earliest();
    if (!next)
        return updateDriver();
    if (*next->m_dueMs <= m_elapsed)
        return deliver(*next);
    if (!m_runningFreely || !idle)
        return;
    qint64 landing = *next->m_dueMs;
    if (!m_jitter.isEmpty())
        landing += m_jitter.at(m_nextJitter++ % m_jitter.size());
    if (landing > m_elapsed + freeStepMs) {
        m_elapsed += freeStepMs;
        return;
    }
    m_elapsed = std::max(m_elapsed, landing);
    deliver(*next);
}

// What the alarm calls may destroy the alarm, so the call-back is called from a copy.
void ManualClock::deliver(ManualAlarm &alarm)
{
    alarm.m_dueMs.reset();
    updateDriver();
    const std::function<void()> due = alarm.m_due;
    due();
}

void ManualClock::updateDriver()
{
    const ManualAlarm *next = earliest();
    const bool active = next && (*next->m_dueMs <= m_elapsed || m_runningFreely);
    if (active && !m_driver)
        m_driver = std::make_unique<Driver>(*this);
    if (m_driver)
        m_driver->setActive(active);
}

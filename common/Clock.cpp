#include "Clock.h"

#include "ClockTimer.h"

#include <QCoreApplication>
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

// The longest step a freely running clock takes at once: a wake-up further off is
// reached in steps, so that what the program does meanwhile keeps up with time.
constexpr qint64 freeStepMs = 1000;
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

void SystemClock::schedule(ClockTimer &timer, qint64 dueMs)
{
    const qint64 delay = std::clamp<qint64>(dueMs - elapsedMs(), 0, std::numeric_limits<int>::max());
    timer.m_systemTimer.start(int(delay));
}

void SystemClock::unschedule(ClockTimer &timer)
{
    timer.m_systemTimer.stop();
}

// Delivers a manual clock's wake-ups from the event loop. It watches every event
// the program handles: the clock only runs on once a whole turn of the event loop
// went by with nothing to do, so that a message sent at one moment is read before
// the clock moves on; a program that is never idle still sees it move, every few
// turns.
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

ManualClock::ManualClock(const QDateTime &start)
    : m_start(start)
{
}

ManualClock::~ManualClock()
{
    for (const WakeUp &wakeUp : m_wakeUps)
        wakeUp.timer->forgetClock();
}

QDateTime ManualClock::now() const
{
    return m_start.addMSecs(m_elapsed);
}

qint64 ManualClock::elapsedMs() const
{
    return m_elapsed;
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

void ManualClock::schedule(ClockTimer &timer, qint64 dueMs)
{
    unschedule(timer);
    m_wakeUps.push_back({&timer, dueMs, m_scheduled++});
    updateDriver();
}

void ManualClock::unschedule(ClockTimer &timer)
{
    std::erase_if(m_wakeUps, [&timer](const WakeUp &wakeUp) { return wakeUp.timer == &timer; });
    updateDriver();
}

std::vector<ManualClock::WakeUp>::iterator ManualClock::earliest()
{
    return std::min_element(m_wakeUps.begin(), m_wakeUps.end(), [](const WakeUp &a, const WakeUp &b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.order < b.order;
    });
}

// Delivers a wake-up that is due; running freely and with the program idle, moves
// time on to the next wake-up (or a second towards it) first.
void ManualClock::step(bool idle)
{
    if (m_wakeUps.empty())
        return updateDriver();
    const auto next = earliest();
    if (next->dueMs <= m_elapsed)
        return deliver(next);
    if (!m_runningFreely || !idle)
        return;
    qint64 landing = next->dueMs;
    if (!m_jitter.isEmpty())
        landing += m_jitter.at(m_nextJitter++ % m_jitter.size());
    if (landing > m_elapsed + freeStepMs) {
        m_elapsed += freeStepMs;
        return;
    }
    m_elapsed = std::max(m_elapsed, landing);
    deliver(next);
}

void ManualClock::deliver(std::vector<WakeUp>::iterator wakeUp)
{
    ClockTimer *timer = wakeUp->timer;
    m_wakeUps.erase(wakeUp);
    updateDriver();
    timer->fire();
}

void ManualClock::updateDriver()
{
    const bool due = std::any_of(m_wakeUps.begin(), m_wakeUps.end(),
                                 [this](const WakeUp &wakeUp) { return wakeUp.dueMs <= m_elapsed; });
    const bool active = due || (m_runningFreely && !m_wakeUps.empty());
    if (active && !m_driver)
        m_driver = std::make_unique<Driver>(*this);
    if (m_driver)
        m_driver->setActive(active);
}

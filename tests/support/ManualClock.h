#pragma once

#include "Clock.h"

#include <QList>

#include <memory>
#include <vector>

// A clock that stands still until moved. Alarms that fall due are delivered from
// the event loop, one at a time. Running freely, the clock moves on by itself to
// the next alarm whenever the program has nothing else to do, so that a
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
    std::unique_ptr<Alarm> createAlarm(std::function<void()> due) override;

    void setNow(const QDateTime &moment);
    void advanceMs(qint64 ms);
    // Delivers every alarm due by now, in turn, and the events they and anything
    // else posted: what a step of the clock makes happen has happened on return,
    // so that a test may check that nothing did.
    void settle();

    // Lets time run on by itself, at most a second per step.
    void runFreely();
    // Alarms go off these many milliseconds after their due time (negative:
    // before it), taken in turn, as a real timer's do; only while running freely.
    void setWakeUpJitter(const QList<int> &offsetsMs);

private:
    class Driver;
    class ManualAlarm;

    void step(bool idle);
    ManualAlarm *earliest() const;
    void deliver(ManualAlarm &alarm);
    void updateDriver();

    QDateTime m_start;
    qint64 m_elapsed = 0;
    std::vector<ManualAlarm *> m_alarms; // every alarm made on this clock that still exists
    quint64 m_timesSet = 0;              // orders alarms due at the same moment
    bool m_runningFreely = false;
    QList<int> m_jitter;
    qsizetype m_nextJitter = 0;
    std::unique_ptr<Driver> m_driver;
};

#pragma once

#include "Clock.h"

#include <QObject>

#include <memory>

// A single-shot timer on the clock in use (Clock::current() when started), so that
// under a test's clock it fires when that clock's time has come, not the system's.
class ClockTimer : public QObject
{
    Q_OBJECT

public:
    explicit ClockTimer(QObject *parent = nullptr);
    ~ClockTimer() override;

    // Fires once the clock's elapsedMs() has reached `dueMs`; a running timer is moved.
    void startAt(qint64 dueMs);
    void start(qint64 delayMs);
    void stop();
    bool isActive() const { return m_alarm && m_alarm->isPending(); }

signals:
    void timeout();

private:
    std::unique_ptr<Clock::Alarm> m_alarm;
};

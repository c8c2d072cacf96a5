#pragma once

#include <QObject>
#include <QTimer>

class Clock;

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
    bool isActive() const { return m_clock != nullptr; }

signals:
    void timeout();

private:
    friend class SystemClock;
    friend class ManualClock;
    // Called by the clock when the time has come, or when the clock goes away.
    void fire();
    void forgetClock() { m_clock = nullptr; }

    Clock *m_clock = nullptr;
    QTimer m_systemTimer; // the system clock's wake-up
};

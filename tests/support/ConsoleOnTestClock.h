#pragma once

#include "ConsoleFixture.h"
#include "ManualClock.h"
#include "ScopedClock.h"
#include "TestSupport.h"

#include <QDateTime>

// A ConsoleFixture whose console runs on the test clock, standing at `now` (1 June
// 2026, 12:00 unless told), with every message box recorded from the first start
// on. The clock stays installed until the console has gone.
class ConsoleOnTestClock : public ConsoleFixture
{
public:
    explicit ConsoleOnTestClock(const QDateTime &now = QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
    ~ConsoleOnTestClock();

    ManualClock &clock() { return m_clock; }
    MessageRecorder &messages() { return m_messages; }

    // Starts a fresh console and lets the station's panel work without a station;
    // true when it runs.
    bool startWithoutStation(int station);
    // A period on the station's panel from Start to Stop, `seconds` long.
    void runPeriod(int station, qint64 seconds);

private:
    ManualClock m_clock;
    ScopedClock m_guard;
    MessageRecorder m_messages;
};

#include "ConsoleOnTestClock.h"

#include "StationPanel.h"

#include <QPushButton>

ConsoleOnTestClock::ConsoleOnTestClock(const QDateTime &now)
    : m_clock(now)
    , m_guard(m_clock)
{
}

ConsoleOnTestClock::~ConsoleOnTestClock()
{
    closeWindow(); // while its timers' clock is still there
}

bool ConsoleOnTestClock::startWithoutStation(int station)
{
    if (!start())
        return false;
    window().panel(station).withoutStation->click();
    return true;
}

void ConsoleOnTestClock::runPeriod(int station, qint64 seconds)
{
    StationPanel &panel = window().panel(station);
    panel.start->click();
    m_clock.advanceMs(seconds * 1000);
    panel.stop->click();
}

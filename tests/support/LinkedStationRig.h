#pragma once

#include "ConsoleAppRig.h"

#include <QList>

#include <map>
#include <memory>

class QPushButton;
class StationWindow;

// A console without its window and real station windows on loopback under one test
// clock that runs freely, so that a station's display moves on a second at a time.
// The test keeps a TimeServiceStandIn around it, as around every station window.
class LinkedStationRig
{
public:
    explicit LinkedStationRig(const QDateTime &start);
    ~LinkedStationRig();
    LinkedStationRig(const LinkedStationRig &) = delete;
    LinkedStationRig &operator=(const LinkedStationRig &) = delete;

    // Starts the console, serving as many stations as the highest of `stations`
    // asks for (two at least), and a station window for each of `stations`, each
    // announced and idle; false when the console does not run or a station is
    // not let in.
    bool start(const QList<int> &stations);

    ManualClock &clock() { return m_console.clock(); }
    ConsoleAppRig &console() { return m_console; }
    StationSession &session(int station) { return m_console.session(station); }
    SessionProbe &shown(int station) { return m_console.shown(station); }
    StationWindow &station(int station) { return *m_stations[station]; }
    QPushButton *stationButton(int station, const char *name);

    // The station's window goes away, and a new one comes, not waited for.
    void closeStation(int station);
    void reopenStation(int station);

private:
    ConsoleAppRig m_console;
    std::map<int, std::unique_ptr<StationWindow>> m_stations;
};

#include "LinkedStationRig.h"

#include "StationWindow.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>

LinkedStationRig::LinkedStationRig(const QDateTime &start)
    : m_clock(start)
    , m_clockGuard(m_clock)
{
    m_clock.runFreely();
}

LinkedStationRig::~LinkedStationRig() = default;

bool LinkedStationRig::start(const QList<int> &stations)
{
    const int highest = *std::max_element(stations.begin(), stations.end());
    if (highest > 2)
        m_console.useStations(highest);
    if (!m_console.start())
        return false;
    for (int number : stations) {
        m_stations[number] = m_console.createStation(number);
        if (!QTest::qWaitFor([&] { return stationButton(number, "cmdStart")->isEnabled(); }))
            return false;
    }
    return true;
}

QPushButton *LinkedStationRig::stationButton(int station, const char *name)
{
    return m_stations[station]->findChild<QPushButton *>(QString::fromLatin1(name));
}

void LinkedStationRig::closeStation(int station)
{
    m_stations[station].reset();
}

void LinkedStationRig::reopenStation(int station)
{
    m_stations[station]
        = std::make_unique<StationWindow>(station, m_console.programDir(), m_console.port(station));
}

#include "LinkedStationRig.h"

#include "StationWindow.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>

LinkedStationRig::LinkedStationRig(const QDateTime &start)
    : m_console(start)
{
    m_console.clock().runFreely();
}

LinkedStationRig::~LinkedStationRig() = default;

bool LinkedStationRig::start(const QList<int> &stations)
{
    const int highest = *std::max_element(stations.begin(), stations.end());
    if (highest > 2)
        m_console.files().useStations(highest);
    if (!m_console.start())
        return false;
    for (int number : stations) {
        m_stations[number] = m_console.files().createStation(number);
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
    m_stations[station] = std::make_unique<StationWindow>(station, m_console.files().programDir(),
                                                          m_console.files().port(station));
}

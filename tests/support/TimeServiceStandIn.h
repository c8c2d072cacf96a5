#pragma once

#include "DaytimeServer.h"

#include <QDateTime>
#include <QList>

// For its lifetime, points every daytime request at a daytime server of its own on
// loopback and records the moments the system clock would be set to, so that no
// test ever reaches the internet or changes the machine's clock.
class TimeServiceStandIn
{
public:
    TimeServiceStandIn();
    ~TimeServiceStandIn();
    TimeServiceStandIn(const TimeServiceStandIn &) = delete;
    TimeServiceStandIn &operator=(const TimeServiceStandIn &) = delete;

    DaytimeServer &server() { return m_server; }
    // Requests from now on find nobody listening: their connection is refused.
    void pointAtClosedPort();
    // The system refuses to set the clock from now on.
    void refuseClockWrites() { m_acceptWrites = false; }
    const QList<QDateTime> &clockWrites() const { return m_clockWrites; }

private:
    DaytimeServer m_server;
    QList<QDateTime> m_clockWrites;
    bool m_acceptWrites = true;
};

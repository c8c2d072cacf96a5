#include "TimeServiceStandIn.h"

#include "DaytimeClock.h"
#include "DaytimeRequest.h"

#include <QTimeZone>

TimeServiceStandIn::TimeServiceStandIn()
{
    DaytimeRequest::setServer(QStringLiteral("127.0.0.1"), m_server.port());
    DaytimeClock::setClockWriter([this](qint64 seconds) {
        m_clockWrites.append(QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()));
        return m_acceptWrites;
    });
}

TimeServiceStandIn::~TimeServiceStandIn()
{
    DaytimeClock::setClockWriter({});
    DaytimeRequest::useTimeServer();
}

void TimeServiceStandIn::pointAtClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 freePort = probe.serverPort();
    probe.close();
    DaytimeRequest::setServer(QStringLiteral("127.0.0.1"), freePort);
}

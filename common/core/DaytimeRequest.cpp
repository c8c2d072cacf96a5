#include "DaytimeRequest.h"

#include "DaytimeClock.h"
#include "TcpConnection.h"

namespace {

struct ServerAddress
{
    QString host = QString::fromLatin1(DaytimeClock::TimeServerHost);
    quint16 port = DaytimeClock::DaytimePort;
};

ServerAddress &server()
{
    static ServerAddress address;
    return address;
}

}

DaytimeRequest::DaytimeRequest(QObject *parent)
    : QObject(parent)
    , m_connection(new TcpConnection(this))
{
    connect(m_connection, &TcpConnection::dataArrival, this, &DaytimeRequest::useReply);
    connect(m_connection, &TcpConnection::error, this, &DaytimeRequest::fail);
}

void DaytimeRequest::start()
{
    m_connection->close();
    m_connection->setRemotePort(server().port);
    m_connection->setRemoteHost(server().host);
    m_connection->connectTo();
}

void DaytimeRequest::useReply()
{
    // Nothing is shown, whether the clock was set or not.
    static_cast<void>(DaytimeClock::SetClockFromDaytime(m_connection->getData()));
    m_connection->close();
    emit finished();
}

void DaytimeRequest::fail()
{
    m_connection->close();
    emit failed();
}

QString DaytimeRequest::failureTitle()
{
    return QStringLiteral("Systemzeit nicht gestellt");
}

QString DaytimeRequest::failureText()
{
    return QStringLiteral("Sorry - Keine Verbindung");
}

void DaytimeRequest::setServer(const QString &host, quint16 port)
{
    server() = {host, port};
}

void DaytimeRequest::useTimeServer()
{
    server() = {};
}

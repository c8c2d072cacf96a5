#include "DaytimeServer.h"

#include <QHostAddress>

DaytimeServer::DaytimeServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DaytimeServer::accept);
    m_server.listen(QHostAddress::LocalHost);
}

int DaytimeServer::openConnections() const
{
    int open = 0;
    for (const QPointer<QTcpSocket> &socket : m_sockets) {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            ++open;
    }
    return open;
}

void DaytimeServer::answerHeld()
{
    for (const QPointer<QTcpSocket> &socket : m_sockets) {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            answer(socket);
    }
}

void DaytimeServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connectionsSeen;
        m_sockets.append(socket);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_mode == Mode::Reply)
            answer(socket);
        else if (m_mode == Mode::CloseSilently)
            socket->disconnectFromHost();
    }
}

void DaytimeServer::answer(QTcpSocket *socket)
{
    socket->write(m_reply);
    socket->disconnectFromHost();
}

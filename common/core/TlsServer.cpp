#include "TlsServer.h"

#include <QSslSocket>

void TlsServer::incomingConnection(qintptr descriptor)
{
    if (!m_encrypting) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto *socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

#include "SingleInstance.h"

#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr int answerTimeoutMs = 1000;
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
        }
        emit activationRequested();
    });
}

QString SingleInstance::defaultName()
{
    return QStringLiteral("Kavo-console-%1").arg(::getuid());
}

bool SingleInstance::claim()
{
    if (wakeRunningInstance())
        return false;
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(m_name) || !wakeRunningInstance();
}

bool SingleInstance::wakeRunningInstance() const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}

#include "TcpConnection.h"

#include "TlsServer.h"
#include "Windows1252.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <utility>

namespace {
// How long a closed connection may take to hand over what was sent on it.
constexpr int lingerMs = 5000;
// The first byte of every TLS handshake; a station without a key begins with a letter.
constexpr char tlsHandshakeRecord = 0x16;

void setOption(QTcpSocket *socket, int level, int option, int value)
{
    ::setsockopt(int(socket->socketDescriptor()), level, option, &value, sizeof value);
}

// A peer that vanished without closing (a PC switched off, a cable pulled) is
// noticed within about two minutes: a quiet connection is probed after a minute
// and given up after the unanswered probes; one whose sent data stays
// unacknowledged is given up after the same two minutes.
void keepPeerWatched(QTcpSocket *socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    setOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, TcpConnection::keepAliveIdleSeconds);
    setOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, TcpConnection::keepAliveIntervalSeconds);
    setOption(socket, IPPROTO_TCP, TCP_KEEPCNT, TcpConnection::keepAliveProbes);
    setOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, TcpConnection::unacknowledgedLimitMs);
}
}

TcpConnection::TcpConnection(QObject *parent)
    : QObject(parent)
    , m_server(new TlsServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpConnection::takeRequests);
    connect(&m_handshakeTimer, &ClockTimer::timeout, this,
            [this] { failHandshake(QStringLiteral("no answer to the handshake")); });
}

void TcpConnection::setPreSharedKey(std::optional<PreSharedKey> key)
{
    m_key = std::move(key);
    m_server->setEncrypting(m_key.has_value());
}

QHostAddress TcpConnection::peerAddress() const
{
    return m_socket && m_established ? m_socket->peerAddress() : QHostAddress();
}

Failure TcpConnection::listen()
{
    close();
    if (!m_server->listen(QHostAddress::Any, m_localPort))
        return Failure(m_server->errorString());
    m_localPort = m_server->serverPort();
    return Failure::none();
}

void TcpConnection::close()
{
    m_server->close();
    releaseSocket();
    for (QSslSocket *socket : std::exchange(m_proving, {}))
        refuse(socket);
}

Failure TcpConnection::accept(int requestId)
{
    if (!m_requestSocket || requestId != m_requestId)
        return Failure(
            QStringLiteral("Die Verbindungsanfrage %1 ist nicht mehr offen.").arg(requestId));
    m_server->close();
    releaseSocket();
    adopt(std::exchange(m_requestSocket, nullptr));
    keepPeerWatched(m_socket);
    m_established = true;
    if (m_replaces)
        m_server->listen(QHostAddress::Any,
                         m_localPort); // no replacement when someone took the port meanwhile
    // Text sent right behind the handshake may be here already.
    if (m_socket->bytesAvailable() > 0)
        scheduleDataArrival();
    return Failure::none();
}

void TcpConnection::connectTo(const QString &host, quint16 port)
{
    m_remoteHost = host;
    m_remotePort = port;
    connectTo();
}

void TcpConnection::connectTo()
{
    close();
    if (!m_key) {
        adopt(new QTcpSocket(this));
        m_socket->connectToHost(m_remoteHost, m_remotePort);
        return;
    }
    auto *socket = new QSslSocket(this);
    m_key->apply(*socket);
    adopt(socket);
    connect(socket, &QSslSocket::encrypted, this, [this] {
        m_handshakeTimer.stop();
        m_handshaking = false;
        post([this] {
            m_established = true;
            emit connected();
        });
    });
    socket->connectToHostEncrypted(m_remoteHost, m_remotePort);
}

Failure TcpConnection::sendData(const QString &text)
{
    if (!m_socket || !m_established || m_socket->state() != QAbstractSocket::ConnectedState)
        return Failure(QStringLiteral("Keine Verbindung."));
    const QByteArray bytes = Windows1252::encode(text);
    if (m_socket->write(bytes) != bytes.size())
        return Failure(m_socket->errorString());
    // Hand the bytes to the system now, as one send, rather than when the event loop
    // next runs; whatever the system cannot take yet follows from the event loop.
    m_socket->flush();
    return Failure::none();
}

QString TcpConnection::getData()
{
    return m_socket ? Windows1252::decode(m_socket->readAll()) : QString();
}

void TcpConnection::takeRequests()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        if (!admits(*socket))
            refuse(socket);
        else if (m_key)
            startProof(static_cast<QSslSocket *>(socket));
        else
            announceRequest(socket);
    }
}

bool TcpConnection::admits(const QTcpSocket &socket) const
{
    if (m_admitsPeer && !m_admitsPeer(socket.peerAddress()))
        return false;
    return m_server->isListening();
}

void TcpConnection::announceRequest(QTcpSocket *socket)
{
    if (m_socket && !(m_replaces && m_replaces(m_socket->peerAddress(), socket->peerAddress()))) {
        refuse(socket);
        return;
    }
    m_requestId = ++m_lastRequestId;
    m_requestSocket = socket;
    emit connectionRequest(m_requestId);
    if (QTcpSocket *unanswered = std::exchange(m_requestSocket, nullptr))
        refuse(unanswered);
}

// The peer's first bytes decide: a TLS handshake is taken up, anything else is a
// peer without the key.
void TcpConnection::startProof(QSslSocket *socket)
{
    // The oldest gives way, so that a flood of silent connections cannot keep the
    // station from proving the key.
    if (m_proving.size() >= maxProvingConnections)
        refuseUnproved(m_proving.first());
    m_proving.append(socket);
    m_key->apply(*socket);
    auto *deadline = new ClockTimer(socket);
    connect(deadline, &ClockTimer::timeout, this, [this, socket] { refuseUnproved(socket); });
    deadline->start(proofTimeoutMs);
    connect(socket, &QIODevice::readyRead, this, [this, socket] { takeFirstBytes(socket); });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] { takeProved(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket] { refuseUnproved(socket); });
}

void TcpConnection::takeFirstBytes(QSslSocket *socket)
{
    if (socket->mode() != QSslSocket::UnencryptedMode)
        return;
    char first = 0;
    if (socket->peek(&first, 1) == 1 && first == tlsHandshakeRecord)
        socket->startServerEncryption();
    else
        refuseUnproved(socket);
}

void TcpConnection::refuseUnproved(QSslSocket *socket)
{
    if (!m_proving.removeOne(socket))
        return;
    socket->disconnect(this);
    const QHostAddress peer = socket->peerAddress();
    const KeyRefusal reason
        = socket->mode() == QSslSocket::UnencryptedMode ? KeyRefusal::NoKey : KeyRefusal::WrongKey;
    refuse(socket);
    emit keyRefused(peer, reason);
}

void TcpConnection::takeProved(QSslSocket *socket)
{
    if (!m_proving.removeOne(socket))
        return;
    socket->disconnect(this);
    delete socket->findChild<ClockTimer *>(QString(), Qt::FindDirectChildrenOnly);
    if (m_server->isListening())
        announceRequest(socket);
    else
        refuse(socket);
}

void TcpConnection::refuse(QTcpSocket *socket)
{
    socket->abort();
    socket->deleteLater();
}

void TcpConnection::adopt(QTcpSocket *socket)
{
    m_socket = socket;
    ++m_generation;
    m_dataArrivalPending = false;
    m_established = false;
    connect(socket, &QAbstractSocket::connected, this, [this] {
        keepPeerWatched(m_socket);
        if (m_key) { // connected() waits for the handshake
            m_handshaking = true;
            m_handshakeTimer.start(proofTimeoutMs);
            return;
        }
        post([this] {
            m_established = true;
            emit connected();
        });
    });
    connect(socket, &QIODevice::readyRead, this, &TcpConnection::scheduleDataArrival);
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        if (m_handshaking)
            failHandshake(QStringLiteral("closed during the handshake"));
        else
            post([this] { emit closed(); });
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError number) {
                if (m_handshaking) {
                    failHandshake(m_socket->errorString());
                    return;
                }
                // The peer closing is no error; closed() reports it.
                if (number == QAbstractSocket::RemoteHostClosedError)
                    return;
                const bool wasConnected = m_socket->state() == QAbstractSocket::ConnectedState;
                post([this, number, description = m_socket->errorString()] {
                    emit error(int(number), description);
                });
                // A connection the system gave up on (its peer silent too long) is closed
                // as well; should the socket not say so itself, this does.
                if (wasConnected)
                    post([this] {
                        if (m_socket->state() == QAbstractSocket::UnconnectedState)
                            closeBroken();
                    });
            });
}

// The console closed, failed or ignored the handshake: without its key, or with
// another.
void TcpConnection::failHandshake(const QString &description)
{
    releaseSocket();
    post([this, description] {
        emit error(int(QAbstractSocket::SslHandshakeFailedError), description);
    });
}

void TcpConnection::closeBroken()
{
    releaseSocket();
    emit closed();
}

void TcpConnection::releaseSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    ++m_generation;
    m_dataArrivalPending = false;
    m_handshaking = false;
    m_handshakeTimer.stop();
    socket->disconnect(this);
    // Let what was sent go out before the socket goes; a peer that does not read
    // cannot keep it for long.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(lingerMs, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void TcpConnection::scheduleDataArrival()
{
    // One announcement covers everything that arrives until it is delivered; the
    // handler reads it all with getData().
    if (m_dataArrivalPending)
        return;
    m_dataArrivalPending = true;
    post([this] {
        m_dataArrivalPending = false;
        if (const qint64 count = m_socket->bytesAvailable(); count > 0)
            emit dataArrival(count);
    });
}

void TcpConnection::post(std::function<void()> delivery)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation, delivery = std::move(delivery)] {
            if (generation == m_generation)
                delivery();
        },
        Qt::QueuedConnection);
}

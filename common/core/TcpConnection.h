#pragma once

#include "ClockTimer.h"
#include "Failure.h"
#include "PreSharedKey.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QSslSocket;
class QTcpSocket;
class TlsServer;

// One end of a TCP link as both programs use it: the object either listens on its
// local port, or connects to a remote host, or is one established connection.
// Text crosses as single-byte Windows-1252, one byte per character both ways.
//
// Every signal comes from the event loop, never from inside a call on the object,
// and in the order things happened (the data before the close that followed it).
// A handler may therefore run a nested event loop (a modal message box)
// and still receive the data that arrives meanwhile.
//
// With a pre-shared key the link is TLS under that key (PreSharedKey); what is sent
// and read is the same text, encrypted on the way. Without one the bytes on the
// wire are the text itself.
class TcpConnection : public QObject
{
    Q_OBJECT

public:
    // How long a peer has to prove the key once it has connected.
    static constexpr int proofTimeoutMs = 10000;
    // Connections proving the key at once on a listening object; a further one
    // closes the oldest.
    static constexpr int maxProvingConnections = 8;

    // Why a connection to a keyed object was closed before it became a request:
    // its peer spoke plain text or nothing, or it failed the handshake (another key,
    // or none in time).
    enum class KeyRefusal { NoKey, WrongKey };
    Q_ENUM(KeyRefusal)

    using ReplacementRule
        = std::function<bool(const QHostAddress &present, const QHostAddress &newcomer)>;

    // Every connection is watched by the system: a peer gone without a word is
    // taken as a closed connection after about two minutes.
    static constexpr int keepAliveIdleSeconds = 60;
    static constexpr int keepAliveIntervalSeconds = 10;
    static constexpr int keepAliveProbes = 6;
    static constexpr int unacknowledgedLimitMs = 120000;

    explicit TcpConnection(QObject *parent = nullptr);

    void setLocalPort(quint16 port) { m_localPort = port; }
    // After a successful listen on port 0, the port the system chose.
    quint16 localPort() const { return m_localPort; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    void setRemotePort(quint16 port) { m_remotePort = port; }

    // Listens on the local port on all local addresses, ending whatever the object
    // did before. Fails, with the system's reason, when the port cannot be opened.
    Failure listen();

    // Ends listening or the connection; the object can listen or connect again.
    void close();

    // Takes the request announced by connectionRequest(requestId); only valid inside
    // that signal's handler. The object becomes the connection, and further requests
    // to the port are refused until it listens again; or, with a replacement rule,
    // all but those the rule lets take the place of the present connection, which
    // are announced as requests like the first. A request not accepted in the
    // handler is refused.
    Failure accept(int requestId);
    void setReplacementRule(ReplacementRule replaces) { m_replaces = std::move(replaces); }
    // A request from a peer the filter does not admit is refused before any other
    // rule, before a byte crosses; without a filter every peer may ask.
    void setPeerFilter(std::function<bool(const QHostAddress &peer)> admits)
    {
        m_admitsPeer = std::move(admits);
    }

    // With a key, set before listening or connecting, every connection is TLS under
    // it. Listening, a connection becomes a request only once its peer has proved
    // the key; until then the established connection goes on undisturbed, and one
    // that does not prove it within proofTimeoutMs is closed and told by
    // keyRefused(). Connecting, connected() follows the handshake, and a console
    // that does not take it (closes, fails it or stays silent) is an error() with
    // QAbstractSocket::SslHandshakeFailedError.
    void setPreSharedKey(std::optional<PreSharedKey> key);
    bool hasKey() const { return m_key.has_value(); }

    // The peer of the established connection; null when there is none.
    QHostAddress peerAddress() const;

    void connectTo(const QString &host, quint16 port);
    void connectTo(); // to the remote host and port set before

    // Sends the text; fails (and does nothing else) when the object is not connected.
    // A connection being made takes text only once connected() has been delivered,
    // so that what its owner says first on connecting goes first.
    Failure sendData(const QString &text);

    // Everything received and not yet read.
    QString getData();

signals:
    void connectionRequest(int requestId);
    void connected();
    void dataArrival(qint64 byteCount);
    // The established connection ended without close() being called: the peer closed
    // it or it broke.
    void closed();
    // A connect failed or the connection broke.
    void error(int number, const QString &description);
    // A connection to a keyed object closed before its peer proved the key.
    void keyRefused(const QHostAddress &peer, TcpConnection::KeyRefusal reason);

private:
    void takeRequests();
    bool admits(const QTcpSocket &socket) const;
    void announceRequest(QTcpSocket *socket);
    void startProof(QSslSocket *socket);
    void takeFirstBytes(QSslSocket *socket);
    void refuseUnproved(QSslSocket *socket);
    void takeProved(QSslSocket *socket);
    void refuse(QTcpSocket *socket);
    void adopt(QTcpSocket *socket);
    void failHandshake(const QString &description);
    void closeBroken();
    void releaseSocket();
    void scheduleDataArrival();
    void post(std::function<void()> delivery);

    TlsServer *m_server;
    QTcpSocket *m_socket = nullptr;
    // Bumped whenever the socket changes, so that signals of a socket already let go
    // of are not delivered.
    quint64 m_generation = 0;
    bool m_dataArrivalPending = false;
    bool m_established = false;
    ReplacementRule m_replaces;
    std::function<bool(const QHostAddress &peer)> m_admitsPeer;

    std::optional<PreSharedKey> m_key;
    // Accepted connections whose peers have yet to prove the key.
    QList<QSslSocket *> m_proving;
    // Connecting: the console has this long to finish the handshake.
    ClockTimer m_handshakeTimer;
    bool m_handshaking = false;

    int m_lastRequestId = 0;
    int m_requestId = 0;
    QTcpSocket *m_requestSocket = nullptr;

    quint16 m_localPort = 0;
    QString m_remoteHost;
    quint16 m_remotePort = 0;
};

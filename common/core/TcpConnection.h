#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <utility>

class QHostAddress;
class QTcpServer;
class QTcpSocket;

// One end of a TCP link as both programs use it: the object either listens on its
// local port, or connects to a remote host, or is one established connection.
// Text crosses as single-byte Windows-1252, one byte per character both ways.
//
// Every signal comes from the event loop, never from inside a call on the object,
// and in the order things happened (the data before the close that followed it).
// A handler may therefore run a nested event loop (a modal message box)
// and still receive the data that arrives meanwhile.
class TcpConnection : public QObject
{
    Q_OBJECT

public:
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
    // did before. False when the port cannot be opened.
    bool listen();

    // Ends listening or the connection; the object can listen or connect again.
    void close();

    // Takes the request announced by connectionRequest(requestId); only valid inside
    // that signal's handler. The object becomes the connection, and further requests
    // to the port are refused until it listens again; or, when it is replaceable by
    // its peer, all but those from the peer's address, which are announced as
    // requests like the first. A request not accepted in the handler is refused.
    bool accept(int requestId);
    void setReplaceableBySamePeer(bool replaceable) { m_replaceableBySamePeer = replaceable; }
    // A request from a peer the filter does not admit is refused before any other
    // rule, before a byte crosses; without a filter every peer may ask.
    void setPeerFilter(std::function<bool(const QHostAddress &peer)> admits)
    {
        m_admitsPeer = std::move(admits);
    }

    void connectTo(const QString &host, quint16 port);
    void connectTo(); // to the remote host and port set before

    // Sends the text; false (nothing else) when the object is not connected. A
    // connection being made takes text only once connected() has been delivered,
    // so that what its owner says first on connecting goes first.
    bool sendData(const QString &text);

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

private:
    void takeRequests();
    bool takesRequestFrom(const QTcpSocket &socket) const;
    void refuse(QTcpSocket *socket);
    void adopt(QTcpSocket *socket);
    void closeBroken();
    void releaseSocket();
    void scheduleDataArrival();
    void post(std::function<void()> delivery);

    QTcpServer *m_server;
    QTcpSocket *m_socket = nullptr;
    // Bumped whenever the socket changes, so that signals of a socket already let go
    // of are not delivered.
    quint64 m_generation = 0;
    bool m_dataArrivalPending = false;
    bool m_established = false;
    bool m_replaceableBySamePeer = false;
    std::function<bool(const QHostAddress &peer)> m_admitsPeer;

    int m_lastRequestId = 0;
    int m_requestId = 0;
    QTcpSocket *m_requestSocket = nullptr;

    quint16 m_localPort = 0;
    QString m_remoteHost;
    quint16 m_remotePort = 0;
};

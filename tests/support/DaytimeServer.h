#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A daytime server on 127.0.0.1 for tests. Depending on its mode it answers every
// connection at once with its reply, closes it without a word, or keeps it open
// silently until told to answer.
class DaytimeServer : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Reply, CloseSilently, Hold };

    explicit DaytimeServer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    void setMode(Mode mode) { m_mode = mode; }
    void setReply(const QByteArray &reply) { m_reply = reply; }

    int connectionsSeen() const { return m_connectionsSeen; }
    // Connections that are still open from the client's side.
    int openConnections() const;
    // Sends the reply on every held connection and closes it.
    void answerHeld();

private:
    void accept();
    void answer(QTcpSocket *socket);

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    QByteArray m_reply = "53138 04-05-12 10:20:30 50 0 0 0.0 UTC(NIST) *\n";
    Mode m_mode = Mode::Reply;
    int m_connectionsSeen = 0;
};

#pragma once

#include <QObject>
#include <QString>

class TcpConnection;

// One request to the time server over a connection of its own: the first data that
// arrives sets the system clock, then the connection is closed. A server that
// closes without sending anything ends the request without either signal.
class DaytimeRequest : public QObject
{
    Q_OBJECT

public:
    explicit DaytimeRequest(QObject *parent = nullptr);

    // Connects to the time server, closing an earlier request's connection first.
    void start();

    // The message both programs show when the server could not be reached.
    static QString failureTitle();
    static QString failureText();

    // Where requests go: the time server's daytime port unless a test points them
    // at a server of its own.
    static void setServer(const QString &host, quint16 port);
    static void useTimeServer();

signals:
    // The reply was used (whether or not it set the clock); the connection is closed.
    void finished();
    // No connection could be made or it broke; the connection is closed.
    void failed();

private:
    void useReply();
    void fail();

    TcpConnection *m_connection;
};

#pragma once

#include "SpacedSender.h"
#include "TcpConnection.h"

#include <QObject>
#include <QString>

// The station's link to the console, at the address Client.ini names. The console
// takes each piece that arrives as one message: the stop, the start and the
// announcement leave on their own, apart from the time texts. Nothing is reported
// when the link is down: a text sent then is simply lost.
class ConsoleLink : public QObject
{
    Q_OBJECT

public:
    // `programDirectory` holds Client.ini; the console listens on `port`.
    ConsoleLink(const QString &programDirectory, quint16 port, QObject *parent = nullptr);

    // The console's address as read from Client.ini at start.
    QString serverAddress() const { return m_serverAddress; }

    // Connects afresh, forgetting what still waits to be sent; connected() follows,
    // or the connection's error().
    void connectToConsole();
    void close();

    void send(const QString &message);
    void sendTimeText(const QString &text);

signals:
    void connected();
    // The console closed the connection, or it broke.
    void closed();
    // A connect failed, or the connection broke.
    void failed();
    void chunkArrived(const QString &chunk);

private:
    const QString m_serverAddress;
    const quint16 m_port;
    TcpConnection m_connection;
    SpacedSender m_sender;
};

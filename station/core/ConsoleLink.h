#pragma once

#include "SpacedSender.h"
#include "TcpConnection.h"

#include <QObject>
#include <QString>

// The station's link to the console, at the address Client.ini names. The console
// takes each piece that arrives as one message: the stop, the start and the
// announcement leave on their own, apart from the time texts. Nothing is reported
// when the link is down: a text sent then is simply lost.
//
// Where Client.ini sets a key ([Server] Schluessel), the link is TLS under it and
// the console must prove the same key; a console that does not is told of by
// keyProblem(), and a key that is no key keeps the station from connecting at all.
class ConsoleLink : public QObject
{
    Q_OBJECT

public:
    // `programDirectory` holds Client.ini; the console listens on `port` for
    // station `station`.
    ConsoleLink(const QString &programDirectory, int station, quint16 port,
                QObject *parent = nullptr);

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
    // Why the link cannot come up as Client.ini's key asks: the text for the
    // customer and the café; an empty text once it is up.
    void keyProblem(const QString &text);

private:
    void linkFailed(int errorNumber);

    const int m_station;
    const QString m_serverAddress;
    const QString m_keyText;
    const quint16 m_port;
    TcpConnection m_connection;
    SpacedSender m_sender;
};

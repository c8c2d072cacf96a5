#pragma once

#include <QByteArray>
#include <QTcpSocket>

// A station stand-in on loopback: connects to the console's port, sends raw text
// and collects what the console answers.
class FakeStation
{
public:
    // From `from` on loopback, so that a second station PC can be stood in for.
    bool connectTo(quint16 port, const QHostAddress &from = QHostAddress::LocalHost);
    void send(const QByteArray &bytes);
    // Waits until the console has sent `expected` since the last take, then returns
    // everything received so far and forgets it.
    QByteArray takeReceived();
    bool waitForText(const QByteArray &expected, int timeoutMs = 2000);
    bool waitForDisconnect(int timeoutMs = 2000);
    void disconnect();
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

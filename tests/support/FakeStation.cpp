#include "FakeStation.h"

#include <QDeadlineTimer>
#include <QTest>

bool FakeStation::connectTo(quint16 port, const QHostAddress &from)
{
    m_socket.bind(from);
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    return m_socket.waitForConnected(2000);
}

void FakeStation::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

QByteArray FakeStation::takeReceived()
{
    m_received += m_socket.readAll();
    return std::exchange(m_received, QByteArray());
}

bool FakeStation::waitForText(const QByteArray &expected, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_received.contains(expected)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
        m_received += m_socket.readAll();
    }
    return true;
}

bool FakeStation::waitForDisconnect(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() != QAbstractSocket::UnconnectedState) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
        m_received += m_socket.readAll();
    }
    return true;
}

void FakeStation::disconnect()
{
    m_socket.disconnectFromHost();
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.waitForDisconnected(1000);
}

#include "ConsoleLink.h"

#include "IniFile.h"

#include <QDir>

ConsoleLink::ConsoleLink(const QString &programDirectory, quint16 port, QObject *parent)
    : QObject(parent)
    , m_serverAddress(IniFile::read(QDir(programDirectory).filePath(QStringLiteral("Client.ini")),
                                    QStringLiteral("Server"), QStringLiteral("IP")))
    , m_port(port)
    , m_connection(this)
    , m_sender([this](const QString &text) { m_connection.sendData(text); })
{
    m_connection.setObjectName(QStringLiteral("Winsock1"));
    connect(&m_connection, &TcpConnection::connected, this, &ConsoleLink::connected);
    connect(&m_connection, &TcpConnection::closed, this, &ConsoleLink::closed);
    connect(&m_connection, &TcpConnection::error, this, &ConsoleLink::failed);
    connect(&m_connection, &TcpConnection::dataArrival, this,
            [this] { emit chunkArrived(m_connection.getData()); });
}

void ConsoleLink::connectToConsole()
{
    m_sender.reset();
    m_connection.connectTo(m_serverAddress, m_port);
}

void ConsoleLink::close()
{
    m_connection.close();
}

void ConsoleLink::send(const QString &message)
{
    m_sender.send(message);
}

void ConsoleLink::sendTimeText(const QString &text)
{
    m_sender.send(text, SpacedSender::Spacing::Streamed);
}

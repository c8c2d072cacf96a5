#include "ConsoleLink.h"

#include "IniFile.h"
#include "PreSharedKey.h"

#include <QAbstractSocket>
#include <QDir>

namespace {
const QString serverSection = QStringLiteral("Server");
}

ConsoleLink::ConsoleLink(const QString &programDirectory, int station, quint16 port,
                         QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_serverAddress(IniFile::read(QDir(programDirectory).filePath(QStringLiteral("Client.ini")),
                                    serverSection, QStringLiteral("IP")))
    , m_keyText(IniFile::read(QDir(programDirectory).filePath(QStringLiteral("Client.ini")),
                              serverSection, QStringLiteral("Schluessel")))
    , m_port(port)
    , m_connection(this)
    // Text for a console that has gone is dropped; the link tells of its end.
    , m_sender([this](const QString &text) { static_cast<void>(m_connection.sendData(text)); })
{
    m_connection.setObjectName(QStringLiteral("Winsock1"));
    m_connection.setPreSharedKey(PreSharedKey::fromText(m_keyText, station));
    connect(&m_connection, &TcpConnection::connected, this, [this] {
        if (m_connection.hasKey())
            emit keyProblem({});
        emit connected();
    });
    connect(&m_connection, &TcpConnection::closed, this, &ConsoleLink::closed);
    connect(&m_connection, &TcpConnection::error, this, &ConsoleLink::linkFailed);
    connect(&m_connection, &TcpConnection::dataArrival, this,
            [this] { emit chunkArrived(m_connection.getData()); });
}

void ConsoleLink::connectToConsole()
{
    m_sender.reset();
    if (PreSharedKey::formOf(m_keyText) == PreSharedKey::Form::Malformed) {
        m_connection.close();
        emit keyProblem(QStringLiteral("Client.ini: Der Schluessel im Abschnitt „Server“ ist kein"
                                       " Schlüssel aus %1 bis %2 Hexadezimalziffern (gerade"
                                       " Anzahl). Station %3 verbindet sich nicht, bis er"
                                       " berichtigt ist.")
                            .arg(QString::number(PreSharedKey::minHexDigits),
                                 QString::number(PreSharedKey::maxHexDigits),
                                 QString::number(m_station)));
        emit failed();
        return;
    }
    m_connection.connectTo(m_serverAddress, m_port);
}

// A failed handshake is the console refusing the key: without one, or with another.
void ConsoleLink::linkFailed(int errorNumber)
{
    if (errorNumber == int(QAbstractSocket::SslHandshakeFailedError))
        emit keyProblem(QStringLiteral("Station %1: Die Kasse nimmt die verschlüsselte Verbindung"
                                       " nicht an. Client.ini hat einen Schluessel; in Kavo.ini"
                                       " fehlt Schluessel%1, oder er ist ein anderer.")
                            .arg(m_station));
    emit failed();
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

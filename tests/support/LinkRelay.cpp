#include "LinkRelay.h"

#include <QRegularExpression>

LinkRelay::LinkRelay(quint16 consolePort, int spacingMs, int gatheringMs)
    : m_consolePort(consolePort)
    , m_spacingMs(spacingMs)
    , m_gatheringMs(gatheringMs)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LinkRelay::takeStation);
    connect(&m_consoleSpacing, &ClockTimer::timeout, this, &LinkRelay::passToConsole);
    connect(&m_stationGathering, &ClockTimer::timeout, this, &LinkRelay::passToStation);
    connect(&m_console, &QIODevice::readyRead, this, [this] {
        m_waitingForStation += m_console.readAll();
        if (!m_stationGathering.isActive())
            m_stationGathering.start(m_gatheringMs);
    });
    connect(&m_console, &QAbstractSocket::connected, this, &LinkRelay::passToConsole);
    m_server.listen(QHostAddress::LocalHost, 0);
}

void LinkRelay::takeStation()
{
    m_station = m_server.nextPendingConnection();
    m_server.close();
    connect(m_station, &QIODevice::readyRead, this, &LinkRelay::readFromStation);
    m_console.connectToHost(QHostAddress::LocalHost, m_consolePort);
}

void LinkRelay::readFromStation()
{
    static const QRegularExpression message(
        QStringLiteral("(\\d\\d\\. )?\\d\\d:\\d\\d:\\d\\d|Startup\\d|Start\\d|Stop\\d"));
    m_fromStation += QString::fromLatin1(m_station->readAll());
    qsizetype parsed = 0;
    QRegularExpressionMatchIterator found = message.globalMatch(m_fromStation);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        m_waitingForConsole.append(match.captured());
        parsed = match.capturedEnd();
    }
    m_fromStation.remove(0, parsed);
    if (!m_consoleSpacing.isActive())
        passToConsole();
}

void LinkRelay::sendToConsole(const QStringList &messages)
{
    m_waitingForConsole.append(messages);
    if (!m_consoleSpacing.isActive())
        passToConsole();
}

void LinkRelay::passToConsole()
{
    if (m_waitingForConsole.isEmpty() || m_console.state() != QAbstractSocket::ConnectedState) {
        m_consoleSpacing.stop();
        return;
    }
    const QString text = m_waitingForConsole.takeFirst();
    m_toConsole.append(text);
    m_console.write(text.toLatin1());
    m_console.flush();
    m_consoleSpacing.start(m_spacingMs);
}

void LinkRelay::passToStation()
{
    m_toStation.append(QString::fromLatin1(m_waitingForStation));
    m_station->write(std::exchange(m_waitingForStation, QByteArray()));
    m_station->flush();
}

#include "FakeConsole.h"

#include "Protocol.h"
#include "Windows1252.h"

FakeConsole::FakeConsole(int station, quint16 port)
    : m_station(station)
    , m_message(QStringLiteral("(\\d\\d\\. )?\\d\\d:\\d\\d:\\d\\d|(?:Startup|Start|Stop)(?:%1|\\d)")
                    .arg(station))
{
    connect(&m_endpoint, &TcpConnection::connectionRequest, this, [this](int requestId) {
        m_endpoint.close();
        m_connected = !m_endpoint.accept(requestId);
        m_connections += m_connected ? 1 : 0;
    });
    connect(&m_endpoint, &TcpConnection::closed, this, [this] {
        m_connected = false;
        listen();
    });
    connect(&m_endpoint, &TcpConnection::dataArrival, this, &FakeConsole::takeChunk);
    m_endpoint.setLocalPort(port);
    listen();
}

QStringList FakeConsole::countdownTexts(qint64 fromSeconds, qint64 toSeconds)
{
    QStringList texts;
    for (qint64 seconds = fromSeconds; seconds >= toSeconds; --seconds)
        texts.append(Protocol::remainingTimeText(seconds));
    return texts;
}

bool FakeConsole::listen()
{
    return !m_endpoint.listen();
}

void FakeConsole::stopListening()
{
    m_endpoint.close();
}

void FakeConsole::dropStation()
{
    m_connected = false;
    listen();
}

void FakeConsole::send(const QString &text)
{
    static_cast<void>(m_endpoint.sendData(text));
}

void FakeConsole::replyTo(const QString &heard, const QString &reply)
{
    onMessage = [this, heard, reply](const QString &message) {
        if (message == heard)
            send(reply);
    };
}

void FakeConsole::sendBytes(const QByteArray &bytes)
{
    send(Windows1252::decode(bytes));
}

void FakeConsole::takeChunk()
{
    const QString chunk = m_endpoint.getData();
    m_bytesReceived += chunk.size();
    if (Protocol::isStartup(chunk, m_station)
        || (m_answerStops && Protocol::isStop(chunk, m_station)))
        send(Protocol::stopMessage(m_station));
    if (!m_recording)
        return;
    m_received += chunk;

    // A message cut in two by the transport is recognised once its second half is in.
    QRegularExpressionMatchIterator found = m_message.globalMatch(m_received, m_parsed);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        m_parsed = match.capturedEnd();
        m_messages.append(match.captured());
        if (onMessage)
            onMessage(match.captured());
    }
}

#pragma once

#include "TcpConnection.h"

#include <QObject>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

// The console's end of one station link on loopback: it listens on a port of its
// own (or the one given), takes one station at a time, answers the announcement and
// the station's stop with the stop message as the console does, and records what
// the station sends, split into its messages (announcement, start, stop, time
// texts).
class FakeConsole : public QObject
{
    Q_OBJECT

public:
    explicit FakeConsole(int station, quint16 port = 0);

    quint16 port() const { return m_endpoint.localPort(); }
    bool listen();
    void stopListening();
    // Closes the station's connection, then listens again.
    void dropStation();
    bool isConnected() const { return m_connected; }
    int connectionCount() const { return m_connections; }

    void send(const QString &text);
    void sendBytes(const QByteArray &bytes);

    // Everything received, and the same split into messages.
    QString received() const { return m_received; }
    QStringList messages() const { return m_messages; }

    // Whether what arrives is kept (and split into messages) or only counted.
    void setRecording(bool recording) { m_recording = recording; }
    qint64 bytesReceived() const { return m_bytesReceived; }

    // Whether a chunk that is a stop is answered with the stop message.
    void setAnswerStops(bool answer) { m_answerStops = answer; }

    // Called with each message as it is recognised, after the console's answers.
    std::function<void(const QString &message)> onMessage;
    // Sends `reply` whenever the station has sent `heard` (in place of onMessage).
    void replyTo(const QString &heard, const QString &reply);

    // The time texts a station counting down sends, from `fromSeconds` left down to
    // `toSeconds`.
    static QStringList countdownTexts(qint64 fromSeconds, qint64 toSeconds);

private:
    void takeChunk();

    const int m_station;
    // A time text, or an announcement, start or stop: the station's own whatever its
    // number, another station's with one digit.
    const QRegularExpression m_message;
    TcpConnection m_endpoint;
    bool m_connected = false;
    int m_connections = 0;
    bool m_answerStops = true;
    bool m_recording = true;
    qint64 m_bytesReceived = 0;
    QString m_received;
    qsizetype m_parsed = 0;
    QStringList m_messages;
};

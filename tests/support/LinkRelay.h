#pragma once

#include "ClockTimer.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback link between a station and the console that cuts the stream as two
// busy PCs on a network may: what the station sends is handed on one message at a
// time, `spacingMs` apart, so that the console reads each message alone; what the
// console sends is gathered for `gatheringMs` from its first byte and handed on in
// one piece, so that two messages sent close together reach the station as one
// chunk. Runs on the clock installed, as the programs on both ends do.
class LinkRelay : public QObject
{
    Q_OBJECT

public:
    LinkRelay(quint16 consolePort, int spacingMs, int gatheringMs);

    // Where the station connects.
    quint16 port() const { return m_server.serverPort(); }

    // Hands these on to the console, in turn, as though the station had sent them.
    void sendToConsole(const QStringList &messages);

    // The messages handed to the console, and the pieces handed to the station.
    QStringList toConsole() const { return m_toConsole; }
    QStringList toStation() const { return m_toStation; }

private:
    void takeStation();
    void readFromStation();
    void passToConsole();
    void passToStation();

    const quint16 m_consolePort;
    QTcpServer m_server;
    QTcpSocket *m_station = nullptr;
    QTcpSocket m_console;
    QString m_fromStation;
    QStringList m_waitingForConsole;
    QByteArray m_waitingForStation;
    const int m_spacingMs;
    const int m_gatheringMs;
    ClockTimer m_consoleSpacing;
    ClockTimer m_stationGathering;
    QStringList m_toConsole;
    QStringList m_toStation;
};

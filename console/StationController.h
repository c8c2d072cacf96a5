#pragma once

#include "Billing.h"
#include "ClockTimer.h"
#include "StationPanel.h"
#include "TcpConnection.h"

#include <QObject>
#include <QStringList>

#include <limits>

class StatisticsPanel;
class UsageDatabase;

// The console's side of one station: the link on its port, the panel's states and
// the usage periods started and stopped there, each billed and recorded once.
class StationController : public QObject
{
    Q_OBJECT

public:
    StationController(int station, quint16 port, StationPanel &panel, UsageDatabase &database,
                      StatisticsPanel &statistics, const Tariffs &tariffs, QObject *parent = nullptr);

    int station() const { return m_station; }
    bool periodRunning() const { return m_periodRunning; }

    void listenStation();
    void enableStation();
    void disableStation();
    void startPeriod();
    void stopPeriod();

private:
    void acceptStation(int requestId);
    void stationClosed();
    void dispatchStationData();
    void showRunningTime(const QString &chunk);
    void billPeriod();
    void send(const QString &text);
    void transmit(const QString &text);
    void sendHeldMessages();
    void dropSilentConnection();

    int m_station;
    quint16 m_port;
    StationPanel &m_panel;
    UsageDatabase &m_database;
    StatisticsPanel &m_statistics;
    Tariffs m_tariffs;
    TcpConnection m_link;
    bool m_periodRunning = false;
    // A connection that has not announced itself in time is dropped.
    ClockTimer m_announcementTimer;
    // Messages waiting for the interval before them to reach the station alone.
    QStringList m_heldMessages;
    ClockTimer m_heldMessageTimer;
    qint64 m_intervalSentMs = std::numeric_limits<qint64>::min() / 2;
};

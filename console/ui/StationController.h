#pragma once

#include "Billing.h"
#include "ClockTimer.h"
#include "SpacedSender.h"
#include "StationPanel.h"
#include "TcpConnection.h"
#include "UsageDatabase.h"

#include <optional>
#include <QObject>

class UsageLedger;

// The console's side of one station: the link on its port, the panel's states and
// the usage periods started and stopped there, each billed and recorded once.
class StationController : public QObject
{
    Q_OBJECT

public:
    StationController(int station, quint16 port, StationPanel &panel, UsageLedger &ledger,
                      const Tariffs &tariffs, QObject *parent = nullptr);

    int station() const { return m_station; }
    bool periodRunning() const { return m_running.has_value(); }

    // Shows a period that a previous run left open as running; its time counts
    // from its start by the wall clock. The panel stays as it is (inactive until
    // its station connects or "Ohne Client"), as after a lost connection.
    void resumePeriod(const OpenPeriod &period);

    void listenStation();
    void enableStation();
    void disableStation();
    void startPeriod();
    void stopPeriod();

signals:
    // Something the operator must read, such as a start box that held no time.
    void problem(const QString &text);
    // Something the operator should know of while it lasts, for the status bar.
    void notice(const QString &text);
    void noticeOver(const QString &text);

private:
    void acceptStation(int requestId);
    void stationClosed();
    void dispatchStationData();
    void showRunningTime(const QString &chunk);
    // A running period and the monotonic moment it began, which its length is
    // measured from.
    struct RunningPeriod
    {
        OpenPeriod period;
        qint64 startElapsedMs = 0;
    };

    void billPeriod(const RunningPeriod &running, const QDateTime &stopMoment);
    void answerAnnouncement();
    QString resumeMessage() const;
    void send(const QString &text);
    void dropSilentConnection();

    int m_station;
    quint16 m_port;
    StationPanel &m_panel;
    UsageLedger &m_ledger;
    Tariffs m_tariffs;
    TcpConnection m_link;
    std::optional<RunningPeriod> m_running;
    // A connection that has not announced itself in time is dropped.
    ClockTimer m_announcementTimer;
    SpacedSender m_sender;
    // A port in use is tried again until it is ours; the operator is told once.
    ClockTimer m_listenRetryTimer;
    QString m_portInUseNotice; // once told
};

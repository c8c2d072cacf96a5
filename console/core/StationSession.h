#pragma once

#include "Billing.h"
#include "ClockTimer.h"
#include "OnDuty.h"
#include "PeriodWatch.h"
#include "SpacedSender.h"
#include "StationLinkReport.h"
#include "TcpConnection.h"
#include "UsageDatabase.h"

#include <QObject>

#include <memory>
#include <optional>

class StationAddressRule;
class UsageLedger;

// The console's side of one station: the link on its port, the period running
// there, the messages sent to the station and the bill of every period, each
// recorded once. What the station's panel shows comes out as signals; what the
// operator does there comes in as calls.
class StationSession : public QObject
{
    Q_OBJECT

public:
    // The panel's heading: red while no period runs, green while one does, and a
    // third colour while a running period is in alarm: its station silent or gone,
    // or its time long over without the station's stop.
    enum class Heading { Idle, Running, Alarm };
    Q_ENUM(Heading)

    StationSession(int station, quint16 port, UsageLedger &ledger, const Tariffs &tariffs,
                   QObject *parent = nullptr);
    ~StationSession() override;

    // Only the given address (IPv4 or host name; empty: any) may connect from now on;
    // a connection from another is closed at once and counted.
    void setAllowedAddress(const QString &text);
    // The key the station proves itself with (hex text as in Kavo.ini; empty: none).
    // Set before listen(). A text that is no key lets nobody prove it.
    void setKeyText(const QString &text);

    int station() const { return m_station; }
    // The station is connected, or "Ohne Client" was pressed.
    bool controlsEnabled() const { return m_controlsEnabled; }
    bool periodRunning() const { return m_running.has_value(); }

    // The boxes of the period as the session fills them: the start box as last
    // filled or corrected, the stop, the duration and the fee of the last bill.
    QString startText() const { return m_startText; }
    QString stopText() const { return m_stopText; }
    QString durationText() const { return m_durationText; }
    QString feeText() const { return m_feeText; }

    // Listens on the station's port; until the station connects, its controls are
    // off.
    void listen();
    // "Ohne Client": the controls are on without a station.
    void enableWithoutStation();

    // Starts a period of `minutes` (0: open-ended); one still running is billed first.
    void start(int minutes);
    // Ends the running period, if any: the station is told and the period billed.
    // The panel shows no period either way.
    void stop();

    // Verlängern: the running timed period gets `minutes` more, or (0) no end. It
    // stays one period from its start, billed on its whole length; the station is
    // given the minutes left, and a restart resumes it with its new end. Nothing
    // happens without a running period, and to an open-ended one.
    void extend(int minutes);
    // Whether a timed period runs, which minutes may be added to.
    bool periodTimed() const
    {
        return m_running && m_running->period.intervalMinutes > 0 && !periodPaused();
    }

    // Pause: the running period stops counting and its station is idle as after a
    // stop; a timed period's end moves on by the pause. Weiter (resume()) counts on
    // and gives the station what is left. The record keeps the paused seconds apart
    // and the fee is for the time used. A restart finds the period paused still.
    void pause();
    void resume();
    bool periodPaused() const { return m_running && m_running->period.paused(); }

    // Platz wechseln: a running period that is not paused may move to a station
    // whose controls are on (its station connected, or "Ohne Client") and that runs
    // none. PeriodMove carries it over, releasing it here and taking it there.
    bool periodMovable() const { return m_running && !periodPaused(); }
    bool takesMovedPeriod() const { return m_controlsEnabled && !m_running; }
    struct MovingPeriod
    {
        OpenPeriod period;
        qint64 startElapsedMs = 0;
        QString startBoxText; // with any correction the operator made
    };
    std::optional<MovingPeriod> movingPeriod() const;
    // The period is gone from here without a record: the station is told to stop.
    void releaseMovedPeriod();
    // The period runs on here from where it was: the station is given what is left.
    void takeMovedPeriod(const MovingPeriod &moving);

    // Where Kavo.ini has Preis<n>=1: the running fee goes to the station as well,
    // every time it changes, in a message only a station of this version knows.
    void setSendsPrice(bool sends) { m_sendsPrice = sends; }

    // The running period as a closing lists it: its whole minutes and its fee if it
    // were stopped now. Nothing while no period runs.
    std::optional<RunningFigure> runningFigure() const;

    // Shows a period that a previous run left open as running; its time counts
    // from its start by the wall clock. The controls stay as they are (off until
    // the station connects or "Ohne Client"), as after a lost connection: Stop
    // alone is on, and the period is in alarm until its station speaks.
    void resumePeriod(const OpenPeriod &period);

    // What the operator typed into the start box. A readable time of day moves the
    // start of the running period when it is billed.
    void correctStartText(const QString &text);
    // Who is on duty: an operator's correction of the start counts up to 5 minutes.
    void setOnDuty(const OnDuty &onDuty) { m_onDuty = onDuty; }

signals:
    // The station asks for a start; the panel answers with start() of the interval
    // chosen there.
    void startRequested();

    void headingChanged(StationSession::Heading heading);
    void startTextChanged(const QString &text);
    void stopTextChanged(const QString &text);
    void durationTextChanged(const QString &text);
    void feeTextChanged(const QString &text);
    // What the running period would cost if stopped now, every second while it runs.
    void runningFeeChanged(const QString &text);
    // Verlängern is on while a timed period runs.
    void extendEnabledChanged(bool enabled);
    // Pause and Platz wechseln are on while a period runs; Pause shows "Weiter"
    // while the period is paused.
    void pauseEnabledChanged(bool enabled);
    void pausedChanged(bool paused);
    void moveEnabledChanged(bool enabled);
    // What the station last sent (cut when long), "Timer" after a stop, or while
    // the period is in alarm, what is wrong and since how long.
    void runningTimeChanged(const QString &text);
    // All of the station's controls: PC Info, Start, Stop and the intervals.
    void controlsEnabledChanged(bool enabled);
    void startEnabledChanged(bool enabled);
    void stopEnabledChanged(bool enabled);
    // The interval option to show as chosen; 0: none.
    void intervalShown(int minutes);
    // A period began; the focus goes to Stop, away from the start box, where a
    // stray key would change the bill.
    void periodStarted();

    // The station's totals once a record of it is written.
    void totalsChanged(const UsageTotals &totals);

    // Something the operator must read, such as a start box that held no time.
    void problem(const QString &text);
    // Something the operator should know of while it lasts, for the status bar,
    // such as a running period in alarm.
    void notice(const QString &text);
    void noticeOver(const QString &text);
    // The connections refused for coming from another address or for the key: how
    // many and the last ("Station 1: 1 fremde Verbindung abgewiesen, zuletzt
    // 127.0.0.1, 14:05:09").
    void refusalsChanged(const QString &text);
    // Who holds the port, then every kind of refusal, a line each (StationLinkReport).
    void linkReportChanged(const QString &text);

private:
    // A running period and the monotonic moment it began, which its length is
    // measured from.
    struct RunningPeriod
    {
        OpenPeriod period;
        qint64 startElapsedMs = 0;
        qint64 pauseStartElapsedMs = 0; // while paused: when the pause began
    };

    void enableControls(bool enabled);
    void showAlarm(const QString &text);
    void acceptStation(int requestId);
    bool mayReplace(const QHostAddress &present, const QHostAddress &newcomer) const;
    void reportRefusals();
    void reportKeyRefusal(StationLinkReport::Refusal reason, const QHostAddress &peer);
    void reportHolder();
    bool refusesUnwantedKey(const QString &chunk);
    void stationClosed();
    void dropSilentConnection();
    void dispatchStationData();
    bool answersExtension();
    void answerAnnouncement();
    QString resumeMessage() const;
    void showRunningTime(const QString &chunk);
    qint64 measuredSeconds(const RunningPeriod &running, const QDateTime &stopMoment) const;
    qint64 usedSeconds(const RunningPeriod &running, const QDateTime &stopMoment) const;
    qint64 runningSeconds() const;
    void showRunningFee();
    void showRunning(const OpenPeriod &period);
    void offerOperations();
    void keepOnDisk(const OpenPeriod &period, const QString &what);
    static qint64 pausedSeconds(const RunningPeriod &running);
    qint64 countingSinceMs(const RunningPeriod &running) const;
    void expectStopAnswer();
    void sendPrice(const QString &feeText);
    void billPeriod(const RunningPeriod &running, const QDateTime &stopMoment);
    void fill(QString &box, const QString &text, void (StationSession::*changed)(const QString &));
    void send(const QString &text);

    int m_station;
    quint16 m_port;
    UsageLedger &m_ledger;
    Tariffs m_tariffs;
    OnDuty m_onDuty;
    std::unique_ptr<StationAddressRule> m_addressRule; // outlives the link that asks it
    TcpConnection m_link;
    StationLinkReport m_linkReport;
    // Where the last period started at a connected station came from: a connection
    // from elsewhere gives the port up to this address.
    QHostAddress m_homeAddress;
    std::optional<RunningPeriod> m_running;
    PeriodWatch m_watch;
    bool m_controlsEnabled = false; // the station is connected, or "Ohne Client"
    QString m_startText;
    QString m_stopText;
    QString m_durationText;
    QString m_feeText;
    // A connection that has not announced itself in time is dropped.
    ClockTimer m_announcementTimer;
    SpacedSender m_sender;
    ClockTimer m_runningFeeTimer;
    bool m_sendsPrice = false;
    bool m_announced = false; // the station announced itself on this connection
    QString m_priceSent;      // the fee the station was last given
    // The station answers the stop of an extension with its own; so many stops
    // from it, until a few seconds after the last extension, are those answers and
    // bill nothing.
    int m_stopAnswersAwaited = 0;
    qint64 m_stopAnswersDueUntilMs = 0;
    // A port in use is tried again until it is ours; the operator is told once.
    ClockTimer m_listenRetryTimer;
    QString m_portInUseNotice; // once told
};

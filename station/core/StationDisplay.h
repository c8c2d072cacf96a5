#pragma once

#include "ClockTimer.h"
#include "ConsoleLink.h"
#include "CoverGuard.h"
#include "CoverState.h"
#include "CustomerSession.h"
#include "StationSettings.h"

#include <QDateTime>
#include <QObject>

#include <initializer_list>
#include <optional>
#include <vector>

// What the station does and shows, without its window. It connects to the console,
// announces itself and carries out what the console sends: a timed period counting
// down to its end moment, an endless one counting up, or the stop. While a period
// runs it shows and sends its time once a second, each time the shown second
// changes, woken by a timer; in between it sleeps. What is to be shown leaves as
// signals, each emitted whenever its item is set, whether that changes it or not.
// Client.ini may switch on the lock, whose cover it keeps the state of, and its own
// attempts to connect again while the link is down.
class StationDisplay : public QObject
{
    Q_OBJECT

public:
    // What the window shows or hides.
    enum class Item {
        EndDate, // of the period's end moment
        EndTime,
        Interval, // the minutes a period started at the station runs for
        CurrentTime,
        StartTime,     // of the period
        UsedTime,      // counted up by an endless period
        RemainingTime, // counted down to the end moment
        StartTimeLabel,
        EndTimeLabel,
        CurrentTimeLabel,
        UsedTimeLabel,
        IntervalLabel,
    };

    // `programDirectory` holds Client.ini. The console is reached on the station's
    // own port unless another is given (tests run a console of their own).
    StationDisplay(int station, const QString &programDirectory,
                   std::optional<quint16> consolePort = std::nullopt, QObject *parent = nullptr);

    int station() const { return m_station; }
    // "Client1": the station program's name, which begins each caption.
    QString name() const { return m_name; }
    // The console's address as read from Client.ini at start.
    QString serverAddress() const { return m_link.serverAddress(); }
    const StationSettings &settings() const { return m_settings; }
    // Whether the lock's cover is over the screens; never without the lock.
    CoverState *cover() { return &m_cover; }
    // Keeps the cover in force while it is wanted; the window carries out its orders.
    CoverGuard *guard() { return &m_guard; }

    // Sets up what is shown at start and connects to the console; without
    // `connects` (the station has no number) it never connects, not even on request.
    void start(bool connects = true);
    // The station is about to end: the customer's session, where one is kept,
    // ends with it, so that no desktop is left without the cover.
    void shutDown();
    // Ends the connection there is and connects anew.
    void reconnect();
    // Carries out one chunk as read from the console: the stop, or the start of a
    // period.
    void handleChunk(const QString &chunk);
    // The customer's Start: a period of the interval's minutes.
    void startByCustomer();
    // Tells the console that the period is over.
    void reportStop();
    // The interval as the customer typed it into its field.
    void setInterval(const QString &minutes) { m_interval = minutes; }

signals:
    void captionChanged(const QString &caption);
    void shownChanged(StationDisplay::Item item, bool shown);
    void canConnectChanged(bool enabled);
    void canStartChanged(bool enabled);
    void canStopChanged(bool enabled);

    void endDateChanged(const QString &text);
    void endTimeChanged(const QString &text);
    void intervalChanged(const QString &text);
    void currentTimeChanged(const QString &text);
    void startTimeChanged(const QString &text);
    void usedTimeChanged(const QString &text);
    void remainingTimeChanged(const QString &text);
    // What the running period costs so far, as the console tells it where it is set
    // to ("1,05 €"); empty once the period is over.
    void priceChanged(const QString &text);

    // With each pass of a period: the station's time is to be seen.
    void raiseRequested();
    // Whether a period is on the display: the first has begun, or the last has ended.
    void runningChanged(bool running);
    // A timed period's time left has reached 5 minutes or 1 minute, which the
    // customer is told of, with the text to tell.
    void endNoticeDue(const QString &text);
    // Why the link to the console cannot come up as Client.ini's key asks, to be
    // shown without stopping anything; empty once it is up.
    void linkProblemChanged(const QString &text);
    // Something about the lock the café must set right (the customers' account).
    void lockProblem(const QString &text);

private:
    void connectToConsole();
    void consoleConnected();
    void consoleClosed();
    void scheduleReconnect();
    void linkDown();
    void coverChanged(bool covered);
    void lockFailed();

    void showIdleLayout();
    void startEndlessPeriod(const QString &chunk);
    void startTimedPeriod(const QString &chunk);
    void setShown(std::initializer_list<Item> items, bool shown);
    void showInterval(const QString &minutes);
    // Stop offered and Start not while a period runs; the other way round after it.
    void offerStop(bool offered);

    // One period on the display. A period started while another runs takes the
    // display until it has ended and reported its stop; then the one it interrupted
    // carries on.
    struct DisplayedPeriod
    {
        bool endless = false;
        QDateTime end;
        QDateTime start;      // of an endless period, to the whole second
        qint64 loopEndMs = 0; // when its time is up, on the clock's monotonic count
        bool started = false;
        bool passed = false;
        qint64 shownSecond = 0;         // the wall-clock second of its last pass
        qint64 shownLeft = -1;          // the seconds left its last pass showed
        std::optional<qint64> stopAtMs; // while it waits to report its stop
    };

    QDateTime showEndMoment();
    void beginCountdown(const QDateTime &end);
    void beginEndless(const QDateTime &end);
    void beginPeriod(DisplayedPeriod period);
    void runDisplay();
    std::optional<qint64> nextStep(DisplayedPeriod &period);
    void makePass(DisplayedPeriod &period);
    qint64 secondAt(qint64 ms) const;
    void countdownPass(DisplayedPeriod &period);
    void tellOfNearEnd(DisplayedPeriod &period, qint64 secondsLeft);
    void endPeriodsUnreported();
    void showPeriodOver();
    void endlessPass(const QDateTime &end, const QDateTime &start);
    QString showRemainingTime(const QDateTime &end);
    qint64 secondsLeftUntil(const QDateTime &end) const;

    const int m_station;
    const QString m_name;
    const StationSettings m_settings;
    ConsoleLink m_link;
    CoverState m_cover;
    CoverGuard m_guard;
    CustomerSession m_customer;
    ClockTimer m_reconnectTimer;
    bool m_connects = true; // false: the station has no number and stays unconnected
    QString m_interval;
    bool m_stopRequested = false;
    // The console's answer to the announcement is still to come.
    bool m_answerAwaited = false;
    ClockTimer m_displayTimer;
    std::vector<DisplayedPeriod> m_periods; // the innermost last
};

#include "StationDisplay.h"

#include "Clock.h"
#include "Protocol.h"
#include "TextFormats.h"

#include <algorithm>
#include <utility>

namespace {
// A pass is due when the shown second changes; the display wakes this long after
// the change, so that a timer firing a little early still finds the new second.
constexpr qint64 passAfterSecondMs = 20;
// A period that ran out sends its stop this long after its last time text.
constexpr qint64 stopPauseMs = 200;
// Periods started one inside another that the display keeps; a start beyond them
// drops the outermost. A console starts one period at a time; only a peer sending
// start after start gets this far.
constexpr std::size_t maxNestedPeriods = 8;
// The minutes left of a timed period that the customer is told of, the last first.
constexpr int nearEndMinutes[] = {1, 5};

QDateTime wholeSecondsNow()
{
    const QDateTime now = Clock::current().now();
    return now.addMSecs(-now.time().msec());
}
}

StationDisplay::StationDisplay(int station, const QString &programDirectory,
                               std::optional<quint16> consolePort, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_name(QStringLiteral("Client") + QString::number(station))
    , m_settings(StationSettings::read(programDirectory))
    , m_link(programDirectory, station, consolePort.value_or(Protocol::port(station)), this)
    , m_cover(m_settings.lockActive(), this)
    , m_customer(m_settings.lockActive() ? m_settings.customer() : QString(),
                 m_settings.resetsHome(), this)
{
    connect(&m_link, &ConsoleLink::connected, this, &StationDisplay::consoleConnected);
    connect(&m_link, &ConsoleLink::closed, this, &StationDisplay::consoleClosed);
    connect(&m_link, &ConsoleLink::failed, this, &StationDisplay::linkDown);
    connect(&m_link, &ConsoleLink::chunkArrived, this, &StationDisplay::handleChunk);
    connect(&m_link, &ConsoleLink::keyProblem, this, &StationDisplay::linkProblemChanged);
    connect(&m_displayTimer, &ClockTimer::timeout, this, &StationDisplay::runDisplay);
    connect(&m_reconnectTimer, &ClockTimer::timeout, this, &StationDisplay::reconnect);
    connect(this, &StationDisplay::runningChanged, &m_cover, &CoverState::setPeriodRunning);
    connect(&m_cover, &CoverState::coveredChanged, this, &StationDisplay::coverChanged);
    connect(&m_guard, &CoverGuard::lockFailed, this, &StationDisplay::lockFailed);
    connect(&m_customer, &CustomerSession::problem, this, &StationDisplay::lockProblem);
}

// With the lock the screen is covered first, before anything that takes time; a
// station started anew also ends the session of a customer who made it end.
void StationDisplay::start(bool connects)
{
    coverChanged(m_cover.covered());
    setShown({Item::EndDate, Item::EndTime}, false);
    emit currentTimeChanged({});
    emit startTimeChanged({});
    emit usedTimeChanged({});
    showInterval(QStringLiteral("5"));
    m_connects = connects;
    if (connects) {
        connectToConsole();
    } else {
        emit canStartChanged(false);
        emit canConnectChanged(false);
    }
    emit canStopChanged(false);
    setShown({Item::IntervalLabel, Item::Interval, Item::StartTimeLabel, Item::EndTimeLabel,
              Item::CurrentTimeLabel, Item::UsedTimeLabel},
             false);
}

void StationDisplay::connectToConsole()
{
    emit canStartChanged(false);
    emit canConnectChanged(true);
    m_answerAwaited = false;
    m_link.connectToConsole();
    scheduleReconnect();
}

// The next attempt of the station's own, should this one fail or the link drop
// later; none unless Client.ini asks for them.
void StationDisplay::scheduleReconnect()
{
    if (const std::optional<int> seconds = m_settings.reconnectSeconds())
        m_reconnectTimer.start(1000 * qint64(*seconds));
}

// A failed attempt leaves the next one as it was planned; a link lost once it was
// up plans one.
void StationDisplay::linkDown()
{
    if (!m_reconnectTimer.isActive())
        scheduleReconnect();
}

void StationDisplay::shutDown()
{
    m_customer.endAtOnce();
}

// A period's end takes the customer's session with it before the cover comes.
void StationDisplay::coverChanged(bool covered)
{
    if (covered)
        m_customer.end();
    m_guard.setCovered(covered);
}

// Another program holds keyboard or mouse: the console learns that this station is
// open, and the customer's programs, which may hold them, are ended.
void StationDisplay::lockFailed()
{
    m_link.send(Protocol::lockFailureMessage());
    m_customer.end();
}

void StationDisplay::reconnect()
{
    if (!m_connects)
        return;
    m_link.close();
    connectToConsole();
}

void StationDisplay::consoleConnected()
{
    m_reconnectTimer.stop();
    emit canStartChanged(true);
    emit canConnectChanged(false);
    m_link.send(Protocol::startupMessage(m_station));
    m_answerAwaited = true;
}

void StationDisplay::consoleClosed()
{
    emit canStartChanged(false);
    emit canConnectChanged(true);
    linkDown();
}

void StationDisplay::handleChunk(const QString &chunk)
{
    // The price of the period running is shown and changes nothing else.
    if (const QString price = Protocol::priceText(chunk, m_station); !price.isEmpty()) {
        emit priceChanged(price);
        return;
    }
    const bool answersAnnouncement = std::exchange(m_answerAwaited, false);
    emit canStartChanged(true);
    setShown({Item::EndDate, Item::EndTime}, true);
    switch (Protocol::stationOrder(chunk, m_station)) {
    case Protocol::StationOrder::Stop:
        emit priceChanged(QString());
        showIdleLayout();
        if (answersAnnouncement)
            endPeriodsUnreported();
        break;
    case Protocol::StationOrder::EndlessPeriod:
        startEndlessPeriod(chunk);
        break;
    case Protocol::StationOrder::TimedPeriod:
        startTimedPeriod(chunk);
        break;
    }
}

// A running period makes one more pass and ends, right after this.
void StationDisplay::showIdleLayout()
{
    m_stopRequested = true;
    if (!m_periods.empty())
        m_displayTimer.start(0);
    setShown({Item::EndDate, Item::EndTime, Item::Interval}, false);
    showInterval({});
    setShown({Item::CurrentTime, Item::StartTime, Item::UsedTime, Item::RemainingTime,
              Item::StartTimeLabel, Item::EndTimeLabel, Item::CurrentTimeLabel,
              Item::UsedTimeLabel},
             false);
    offerStop(false);
}

void StationDisplay::startEndlessPeriod(const QString &chunk)
{
    showInterval(chunk);
    setShown({Item::Interval}, false);
    setShown({Item::CurrentTime, Item::StartTime, Item::UsedTime}, true);
    offerStop(true);
    setShown({Item::EndDate, Item::EndTime}, false);
    setShown(
        {Item::RemainingTime, Item::StartTimeLabel, Item::CurrentTimeLabel, Item::UsedTimeLabel},
        true);
    beginEndless(showEndMoment());
}

void StationDisplay::startTimedPeriod(const QString &chunk)
{
    showInterval(chunk);
    setShown({Item::StartTimeLabel, Item::CurrentTimeLabel, Item::UsedTimeLabel, Item::CurrentTime,
              Item::StartTime, Item::UsedTime, Item::EndDate},
             false);
    setShown({Item::EndTimeLabel, Item::EndTime}, true);
    offerStop(true);
    beginCountdown(showEndMoment());
}

// Runs for the minutes left in the interval, which any stop message empties: after
// a stop this is a period of no time, ending at once.
void StationDisplay::startByCustomer()
{
    offerStop(true);
    m_link.send(Protocol::startMessage(m_station));
    setShown({Item::EndDate, Item::EndTime, Item::RemainingTime}, true);
    beginCountdown(showEndMoment());
}

void StationDisplay::setShown(std::initializer_list<Item> items, bool shown)
{
    for (const Item item : items)
        emit shownChanged(item, shown);
}

void StationDisplay::showInterval(const QString &minutes)
{
    m_interval = minutes;
    emit intervalChanged(minutes);
}

void StationDisplay::offerStop(bool offered)
{
    emit canStopChanged(offered);
    emit canStartChanged(!offered);
}

// The end moment: now, to the whole second, plus the minutes the interval begins
// with. It is shown as date and time of day and handed to the display.
QDateTime StationDisplay::showEndMoment()
{
    const QDateTime end
        = wholeSecondsNow().addSecs(60 * qint64(Protocol::leadingMinutes(m_interval)));
    emit endDateChanged(TextFormats::date(end.date()));
    emit endTimeChanged(TextFormats::timeOfDay(end.time()));
    return end;
}

void StationDisplay::beginCountdown(const QDateTime &end)
{
    emit startTimeChanged(TextFormats::timeOfDay(Clock::current().now().time()));
    DisplayedPeriod period;
    period.end = end;
    beginPeriod(period);
}

void StationDisplay::beginEndless(const QDateTime &end)
{
    emit startTimeChanged(TextFormats::timeOfDay(Clock::current().now().time()));
    DisplayedPeriod period;
    period.endless = true;
    period.end = end;
    period.start = wholeSecondsNow();
    beginPeriod(period);
}

// The period runs for the whole seconds from now to its end moment, on the
// monotonic count, so that a clock set meanwhile neither stretches nor cuts it.
void StationDisplay::beginPeriod(DisplayedPeriod period)
{
    m_stopRequested = false;
    const bool wasIdle = m_periods.empty();
    if (m_periods.size() == maxNestedPeriods)
        m_periods.erase(m_periods.begin());
    period.loopEndMs = Clock::current().elapsedMs() + 1000 * wholeSecondsNow().secsTo(period.end);
    m_periods.push_back(period);
    if (wasIdle)
        emit runningChanged(true);
    runDisplay();
}

// Brings the innermost period up to date and sets the timer for its next step.
// A period that is over reports its stop and hands the display back to the one it
// interrupted, which is brought up to date in turn.
void StationDisplay::runDisplay()
{
    while (!m_periods.empty()) {
        if (const std::optional<qint64> wakeMs = nextStep(m_periods.back())) {
            m_displayTimer.startAt(*wakeMs);
            return;
        }
        m_periods.pop_back();
        reportStop();
    }
    m_displayTimer.stop();
    emit runningChanged(false);
}

// One step of a period: a pass at its start and whenever the shown second has
// changed, one last pass in the next second after a stop message, and at the end
// of its time a short pause before the stop. Returns when to look again, or
// nothing once the stop is due. A period that runs out thus shows and sends
// 00:00:00 last.
std::optional<qint64> StationDisplay::nextStep(DisplayedPeriod &period)
{
    const qint64 nowMs = Clock::current().elapsedMs();
    if (period.stopAtMs) {
        if (m_stopRequested || nowMs >= *period.stopAtMs)
            return std::nullopt;
        return period.stopAtMs;
    }
    const qint64 nextSecondMs
        = nowMs + 1000 - Clock::current().now().time().msec() + passAfterSecondMs;
    const bool newSecond = wholeSecondsNow().toSecsSinceEpoch() != period.shownSecond;
    if (m_stopRequested) {
        // The last pass shows the next second rather than repeat the one shown;
        // a period whose last second is shown already has nothing more to show.
        if (period.passed && !newSecond) {
            if (period.shownSecond >= secondAt(period.loopEndMs))
                return std::nullopt;
            return nextSecondMs;
        }
        makePass(period);
        return std::nullopt;
    }
    if (!period.started) {
        period.started = true;
        if (nowMs < period.loopEndMs)
            makePass(period);
    } else if (nowMs < period.loopEndMs ? newSecond
                                        : period.shownSecond < secondAt(period.loopEndMs)) {
        // Once its time is up a period only shows the second its time ran out in,
        // should a late wake-up have missed it.
        makePass(period);
    }
    if (nowMs >= period.loopEndMs) {
        // A period that ran out sends its stop right behind its last time text.
        // Sent at once, the two often reach the console as one chunk, which it only
        // shows, so the period would stay open there. The pause lets the console
        // take the time text first.
        if (!period.passed)
            return std::nullopt;
        period.stopAtMs = nowMs + stopPauseMs;
        return period.stopAtMs;
    }
    return std::min(nextSecondMs, period.loopEndMs);
}

// The wall-clock second (since the epoch) in which the monotonic count reaches `ms`.
qint64 StationDisplay::secondAt(qint64 ms) const
{
    const Clock &clock = Clock::current();
    return (clock.now().toMSecsSinceEpoch() + ms - clock.elapsedMs()) / 1000;
}

void StationDisplay::makePass(DisplayedPeriod &period)
{
    period.passed = true;
    period.shownSecond = wholeSecondsNow().toSecsSinceEpoch();
    emit raiseRequested();
    if (period.endless)
        endlessPass(period.end, period.start);
    else
        countdownPass(period);
}

void StationDisplay::countdownPass(DisplayedPeriod &period)
{
    const QString timeText = showRemainingTime(period.end);
    emit captionChanged(m_name + QStringLiteral(" Online - ") + timeText);
    m_link.sendTimeText(timeText);
    tellOfNearEnd(period, secondsLeftUntil(period.end));
}

// Each mark is told of once, by the pass that first shows the time left at or below
// it; a period started with no more time than a mark is not told of that mark.
void StationDisplay::tellOfNearEnd(DisplayedPeriod &period, qint64 secondsLeft)
{
    const qint64 shownBefore = std::exchange(period.shownLeft, secondsLeft);
    for (const int minutes : nearEndMinutes) {
        if (shownBefore > 60 * minutes && secondsLeft <= 60 * minutes) {
            emit endNoticeDue(
                minutes == 1 ? QStringLiteral(u"Ihre Zeit läuft in 1 Minute ab.")
                             : QStringLiteral(u"Ihre Zeit läuft in %1 Minuten ab.").arg(minutes));
            return;
        }
    }
}

void StationDisplay::endlessPass(const QDateTime &end, const QDateTime &start)
{
    showRemainingTime(end);
    emit captionChanged(m_name + QStringLiteral(" - Endlos"));
    const QDateTime now = wholeSecondsNow();
    emit currentTimeChanged(TextFormats::timeOfDay(now.time()));
    // A clock set back while the period runs shows no time used rather than a negative one.
    const QString usedTime = Protocol::elapsedTimeText(qMax<qint64>(0, start.secsTo(now)));
    emit usedTimeChanged(usedTime);
    m_link.sendTimeText(usedTime);
}

// A clock set forward while the period runs shows 00:00:00 rather than a negative
// time until the period ends.
QString StationDisplay::showRemainingTime(const QDateTime &end)
{
    const QString text = Protocol::remainingTimeText(secondsLeftUntil(end));
    emit remainingTimeChanged(text);
    return text;
}

qint64 StationDisplay::secondsLeftUntil(const QDateTime &end) const
{
    return qMax<qint64>(0, wholeSecondsNow().secsTo(end));
}

// The stop that answers every announcement ends the periods still running here at
// once, without a last pass and without reporting their stop: the console, which
// kept the period open while the link was down, hands what is left of it back right
// after, and a stop from here would bill it there.
void StationDisplay::endPeriodsUnreported()
{
    if (m_periods.empty())
        return;
    m_periods.clear();
    m_displayTimer.stop();
    showPeriodOver();
    emit runningChanged(false);
}

void StationDisplay::reportStop()
{
    m_link.send(Protocol::stopMessage(m_station));
    showPeriodOver();
}

void StationDisplay::showPeriodOver()
{
    emit captionChanged(m_name + QStringLiteral(" - bitte freischalten."));
}

#include "StationSession.h"

#include "Clock.h"
#include "PreSharedKey.h"
#include "Protocol.h"
#include "StationAddressRule.h"
#include "TextFormats.h"
#include "UsageLedger.h"

#include <cstdlib>
#include <utility>

namespace {
// A chunk longer than this is shown cut: the label is a few characters wide and a
// megabyte of text would only stall the window.
constexpr int shownChunkLength = 64;
// A real station announces itself the moment it is connected; a connection silent
// for this long is someone else's and gives the port back.
constexpr qint64 announcementTimeoutMs = 30000;
// How far the wall clock may drift from measured time over a period and still be
// taken as unchanged.
constexpr qint64 wallClockToleranceMs = 2000;
// How long after an extension's stop the station's own stop is taken as its
// answer; a station answers within a second.
constexpr qint64 stopAnswerWaitMs = 5000;
// How often a port that was in use is tried again.
constexpr qint64 listenRetryMs = 5000;
// How a TLS handshake begins (a handshake record of TLS 1.x), in the text it decodes to.
const QString tlsHelloStart = QStringLiteral("\x16\x03");

qint64 wholeSeconds(const QDateTime &moment)
{
    return moment.toSecsSinceEpoch();
}
}

StationSession::StationSession(int station, quint16 port, UsageLedger &ledger,
                               const Tariffs &tariffs, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_port(port)
    , m_ledger(ledger)
    , m_tariffs(tariffs)
    , m_linkReport(station, port)
    , m_watch(station)
    // Text for a station that has gone is dropped; the link tells of its end.
    , m_sender([this](const QString &text) { static_cast<void>(m_link.sendData(text)); })
{
    m_link.setObjectName(QStringLiteral("Winsock%1").arg(station));
    connect(&m_link, &TcpConnection::connectionRequest, this, &StationSession::acceptStation);
    connect(&m_link, &TcpConnection::closed, this, &StationSession::stationClosed);
    connect(&m_link, &TcpConnection::dataArrival, this, &StationSession::dispatchStationData);
    connect(&m_announcementTimer, &ClockTimer::timeout, this,
            &StationSession::dropSilentConnection);
    connect(&m_listenRetryTimer, &ClockTimer::timeout, this, &StationSession::listen);
    connect(&m_runningFeeTimer, &ClockTimer::timeout, this, &StationSession::showRunningFee);
    connect(&m_watch, &PeriodWatch::alarmChanged, this, &StationSession::showAlarm);
    connect(&m_watch, &PeriodWatch::notice, this, &StationSession::notice);
    connect(&m_watch, &PeriodWatch::noticeOver, this, &StationSession::noticeOver);
    // The ledger writes this station's records, some of them late.
    connect(&m_ledger.totalsFeed(station), &StationTotalsFeed::changed, this,
            &StationSession::totalsChanged);
    connect(&m_link, &TcpConnection::keyRefused, this,
            [this](const QHostAddress &peer, TcpConnection::KeyRefusal reason) {
                reportKeyRefusal(reason == TcpConnection::KeyRefusal::NoKey
                                     ? StationLinkReport::Refusal::NoKey
                                     : StationLinkReport::Refusal::WrongKey,
                                 peer);
            });
    m_link.setReplacementRule([this](const QHostAddress &present, const QHostAddress &newcomer) {
        return mayReplace(present, newcomer);
    });
}

// A station PC that restarted without closing its connection comes back from the
// same address; it takes the port over at once. So does the station's address from
// anyone else holding the port. Where the key is set, whoever proves it is the
// station.
bool StationSession::mayReplace(const QHostAddress &present, const QHostAddress &newcomer) const
{
    return m_link.hasKey() || newcomer.isEqual(present, QHostAddress::TolerantConversion)
        || newcomer.isEqual(m_homeAddress, QHostAddress::TolerantConversion);
}

void StationSession::setKeyText(const QString &text)
{
    if (PreSharedKey::formOf(text) == PreSharedKey::Form::Malformed) {
        // A key nobody knows: every connection is refused, and counted.
        m_link.setPreSharedKey(PreSharedKey::fromText(PreSharedKey::randomText(), m_station));
        return;
    }
    m_link.setPreSharedKey(PreSharedKey::fromText(text, m_station));
}

StationSession::~StationSession() = default;

void StationSession::setAllowedAddress(const QString &text)
{
    if (StationAddressRule::formOf(text) == StationAddressRule::Form::None) {
        m_link.setPeerFilter({});
        m_addressRule.reset();
        return;
    }
    m_addressRule = std::make_unique<StationAddressRule>(text);
    connect(m_addressRule.get(), &StationAddressRule::refused, this,
            &StationSession::reportRefusals);
    m_link.setPeerFilter(
        [rule = m_addressRule.get()](const QHostAddress &peer) { return rule->admits(peer); });
}

void StationSession::reportRefusals()
{
    const int count = m_addressRule->refusedCount();
    const QString line
        = QStringLiteral("Station %1: %2 fremde %3 abgewiesen, zuletzt %4")
              .arg(m_station)
              .arg(count)
              .arg(count == 1 ? QStringLiteral("Verbindung") : QStringLiteral("Verbindungen"),
                   m_addressRule->lastRefusal());
    m_linkReport.setAddressRefusals(line);
    emit refusalsChanged(line);
    emit linkReportChanged(m_linkReport.text());
}

void StationSession::reportKeyRefusal(StationLinkReport::Refusal reason, const QHostAddress &peer)
{
    emit refusalsChanged(m_linkReport.count(reason, peer));
    emit linkReportChanged(m_linkReport.text());
}

void StationSession::reportHolder()
{
    m_linkReport.setHolder(m_link.peerAddress(), m_link.hasKey());
    emit linkReportChanged(m_linkReport.text());
}

void StationSession::listen()
{
    enableControls(false);
    m_link.setLocalPort(m_port);
    if (!m_link.listen()) {
        m_listenRetryTimer.stop();
        if (!m_portInUseNotice.isEmpty())
            emit noticeOver(std::exchange(m_portInUseNotice, QString()));
        return;
    }
    m_listenRetryTimer.start(listenRetryMs);
    if (!m_portInUseNotice.isEmpty())
        return;
    m_portInUseNotice
        = QStringLiteral(
              "Port %1 für Station %2 ist belegt. Kavo versucht es alle %3 Sekunden wieder.")
              .arg(m_port)
              .arg(m_station)
              .arg(listenRetryMs / 1000);
    emit notice(m_portInUseNotice);
}

void StationSession::enableWithoutStation()
{
    enableControls(true);
}

// A period still open on a panel whose station went away can be stopped and billed.
void StationSession::enableControls(bool enabled)
{
    m_controlsEnabled = enabled;
    emit controlsEnabledChanged(enabled);
    if (!enabled && m_running)
        emit stopEnabledChanged(true);
}

void StationSession::showAlarm(const QString &text)
{
    if (text.isEmpty()) {
        emit headingChanged(Heading::Running);
        return;
    }
    emit headingChanged(Heading::Alarm);
    emit runningTimeChanged(text);
}

void StationSession::acceptStation(int requestId)
{
    m_stopAnswersAwaited = 0;
    m_announced = false;
    m_link.close();
    m_sender.reset();
    if (!m_link.accept(requestId)) {
        enableControls(true);
        m_watch.setLinked(true);
        // A period still open goes on at the station that returns; Start would
        // bill it now, so it waits for the stop.
        emit startEnabledChanged(!m_running);
        m_announcementTimer.start(announcementTimeoutMs);
        reportHolder();
    } else {
        listen();
    }
}

void StationSession::stationClosed()
{
    // The period and its start time stay; it is in alarm until the station
    // speaks again, and Stop stays on to end it.
    m_announcementTimer.stop();
    m_stopAnswersAwaited = 0;
    m_announced = false;
    m_watch.setLinked(false);
    listen();
    reportHolder();
}

// Only one connection is taken per port; one that never speaks would keep the
// real station out for good.
void StationSession::dropSilentConnection()
{
    m_link.close();
    stationClosed();
}

void StationSession::dispatchStationData()
{
    const QString chunk = m_link.getData();
    if (refusesUnwantedKey(chunk))
        return;
    m_watch.heard();
    if (Protocol::isStartup(chunk, m_station))
        answerAnnouncement();
    // A paused period is neither ended nor replaced from the station, which is idle
    // meanwhile: only the operator's Weiter or Stop goes on with it.
    const bool paused = periodPaused();
    if (Protocol::isStop(chunk, m_station) && !answersExtension()) {
        // Every stop from the station is answered, so that a station still
        // counting (a period the console had already stopped) ends too; only a
        // running period is billed.
        if (!m_running || paused)
            send(Protocol::stopMessage(m_station));
        if (!paused)
            stop();
    }
    if (Protocol::isStart(chunk, m_station)) {
        if (!paused)
            emit startRequested();
    } else if (!m_watch.inAlarm() && !paused) { // the alarm's text stays until it is over
        showRunningTime(chunk);
    }
    if (chunk == Protocol::lockFailureMessage())
        emit notice(QStringLiteral("Station %1: ").arg(m_station) + chunk);
}

// The station's stop that answers an extension's stop, in time: the period goes on.
bool StationSession::answersExtension()
{
    if (m_stopAnswersAwaited == 0)
        return false;
    if (Clock::current().elapsedMs() > m_stopAnswersDueUntilMs) {
        m_stopAnswersAwaited = 0;
        return false;
    }
    --m_stopAnswersAwaited;
    return true;
}

// A station with a key where the console has none opens with a TLS handshake; it
// is closed and told of rather than shown as the station's time.
bool StationSession::refusesUnwantedKey(const QString &chunk)
{
    if (m_link.hasKey() || !m_announcementTimer.isActive() || !chunk.startsWith(tlsHelloStart))
        return false;
    const QHostAddress peer = m_link.peerAddress();
    dropSilentConnection();
    reportKeyRefusal(StationLinkReport::Refusal::UnwantedKey, peer);
    return true;
}

// A station that announces itself is idle. A period still open here (the link was
// lost, or the console restarted) goes on: the panel keeps showing it, and the
// station is given what is left of it after the stop that every announcement gets.
void StationSession::answerAnnouncement()
{
    m_announcementTimer.stop();
    m_stopAnswersAwaited = 0; // this stop is not answered
    m_announced = true;
    m_priceSent.clear();
    send(Protocol::stopMessage(m_station));
    if (!m_running) {
        emit headingChanged(Heading::Idle);
        return;
    }
    if (periodPaused())
        return;
    send(resumeMessage());
    showRunningFee();
}

// The whole minutes left of a timed period, rounded up; an endless one starts its
// count again at the station.
QString StationSession::resumeMessage() const
{
    const int interval = m_running->period.intervalMinutes;
    if (interval <= 0)
        return Protocol::intervalMessage(std::nullopt);
    const qint64 leftMs
        = 60'000 * qint64(interval) - (Clock::current().elapsedMs() - countingSinceMs(*m_running));
    return QString::number(qMax<qint64>(0, (leftMs + 59'999) / 60'000));
}

void StationSession::showRunningTime(const QString &chunk)
{
    emit runningTimeChanged(
        chunk.size() > shownChunkLength ? chunk.left(shownChunkLength) + QChar(0x2026) : chunk);
}

void StationSession::start(int minutes)
{
    const QDateTime now = Clock::current().now();
    const qint64 startElapsedMs = Clock::current().elapsedMs();
    // A start while a period runs begins a new one; the open one is billed first,
    // so that no started period goes unrecorded.
    if (const std::optional<RunningPeriod> open = std::exchange(m_running, std::nullopt)) {
        fill(m_stopText, TextFormats::timeOfDay(now.time()), &StationSession::stopTextChanged);
        billPeriod(*open, now);
    }
    emit headingChanged(Heading::Running);
    fill(m_startText, TextFormats::timeOfDay(now.time()), &StationSession::startTextChanged);
    emit startEnabledChanged(false);
    emit stopEnabledChanged(true);
    emit periodStarted();
    fill(m_stopText, QString(), &StationSession::stopTextChanged);
    fill(m_durationText, QString(), &StationSession::durationTextChanged);
    fill(m_feeText, QString(), &StationSession::feeTextChanged);
    m_running = RunningPeriod{m_ledger.begin(m_station, now, minutes), startElapsedMs};
    if (m_watch.inAlarm())
        emit runningTimeChanged(QStringLiteral("Timer"));
    m_watch.begin(startElapsedMs, minutes);
    offerOperations();
    if (const QHostAddress peer = m_link.peerAddress(); !peer.isNull())
        m_homeAddress = peer;
    m_priceSent.clear();
    send(Protocol::intervalMessage(minutes > 0 ? std::optional<int>(minutes) : std::nullopt));
    showRunningFee();
}

void StationSession::resumePeriod(const OpenPeriod &period)
{
    const QDateTime now = Clock::current().now();
    const qint64 nowMs = Clock::current().elapsedMs();
    const qint64 passedMs = qMax<qint64>(0, period.begin.msecsTo(now));
    const qint64 pausedForMs
        = period.paused() ? qMax<qint64>(0, period.pausedSince.msecsTo(now)) : 0;
    m_running = RunningPeriod{period, nowMs - passedMs, nowMs - pausedForMs};
    fill(m_startText, period.startText, &StationSession::startTextChanged);
    emit intervalShown(period.intervalMinutes);
    emit stopEnabledChanged(true);
    showRunning(period);
    if (!period.paused())
        m_watch.resume(countingSinceMs(*m_running), period.intervalMinutes);
    showRunningFee();
}

// The heading and the time shown for a period that runs, or is paused.
void StationSession::showRunning(const OpenPeriod &period)
{
    emit headingChanged(period.paused() ? Heading::Idle : Heading::Running);
    if (period.paused())
        emit runningTimeChanged(QStringLiteral("Pause"));
    offerOperations();
}

void StationSession::offerOperations()
{
    emit extendEnabledChanged(periodTimed());
    emit pauseEnabledChanged(m_running.has_value());
    emit pausedChanged(periodPaused());
    emit moveEnabledChanged(periodMovable());
}

void StationSession::keepOnDisk(const OpenPeriod &period, const QString &what)
{
    if (const Failure reason = m_ledger.update(period)) {
        emit problem(QStringLiteral("Station %1: %2 ließ sich nicht speichern (%3). Sie gilt,"
                                    " solange Kavo läuft.")
                         .arg(QString::number(m_station), what, reason.text()));
    }
}

// A connected station answers a stop during its period with its own; that answer
// ends nothing.
void StationSession::expectStopAnswer()
{
    if (m_link.peerAddress().isNull())
        return;
    ++m_stopAnswersAwaited;
    m_stopAnswersDueUntilMs = Clock::current().elapsedMs() + stopAnswerWaitMs;
}

// The pauses so far, the one going on included, in whole seconds.
qint64 StationSession::pausedSeconds(const RunningPeriod &running)
{
    if (!running.period.paused())
        return running.period.pausedSeconds;
    return running.period.pausedSeconds
        + (Clock::current().elapsedMs() - running.pauseStartElapsedMs + 500) / 1000;
}

// The moment on the clock's count the period would have begun without its pauses:
// its end and the station's time count from there.
qint64 StationSession::countingSinceMs(const RunningPeriod &running) const
{
    return running.startElapsedMs + 1000 * running.period.pausedSeconds;
}

void StationSession::pause()
{
    if (!periodMovable())
        return;
    RunningPeriod &running = *m_running;
    running.period.pausedSince = Clock::current().now();
    running.pauseStartElapsedMs = Clock::current().elapsedMs();
    keepOnDisk(running.period, QStringLiteral("Die Pause"));
    m_watch.end();
    m_runningFeeTimer.stop();
    showRunning(running.period);
    // The station ends its period as on the console's stop, and answers it.
    expectStopAnswer();
    send(Protocol::stopMessage(m_station));
}

void StationSession::resume()
{
    if (!periodPaused())
        return;
    RunningPeriod &running = *m_running;
    running.period.pausedSeconds = pausedSeconds(running);
    running.period.pausedSince = QDateTime();
    keepOnDisk(running.period, QStringLiteral("Die Pause"));
    showRunning(running.period);
    emit runningTimeChanged(QStringLiteral("Timer"));
    m_watch.begin(countingSinceMs(running), running.period.intervalMinutes);
    // The station is idle: it takes what is left as a returning station does.
    m_priceSent.clear();
    send(Protocol::stopMessage(m_station));
    send(resumeMessage());
    showRunningFee();
}

std::optional<StationSession::MovingPeriod> StationSession::movingPeriod() const
{
    if (!periodMovable())
        return std::nullopt;
    return MovingPeriod{m_running->period, m_running->startElapsedMs, m_startText};
}

void StationSession::releaseMovedPeriod()
{
    if (!std::exchange(m_running, std::nullopt))
        return;
    m_watch.end();
    m_runningFeeTimer.stop();
    m_stopAnswersAwaited = 0;
    offerOperations();
    emit headingChanged(Heading::Idle);
    send(Protocol::stopMessage(m_station));
    emit runningTimeChanged(QStringLiteral("Timer"));
    fill(m_startText, QString(), &StationSession::startTextChanged);
    fill(m_feeText, QString(), &StationSession::feeTextChanged);
    emit startEnabledChanged(m_controlsEnabled);
    emit stopEnabledChanged(false);
    emit intervalShown(0);
}

void StationSession::takeMovedPeriod(const MovingPeriod &moving)
{
    m_running = RunningPeriod{moving.period, moving.startElapsedMs, 0};
    fill(m_startText, moving.startBoxText, &StationSession::startTextChanged);
    fill(m_stopText, QString(), &StationSession::stopTextChanged);
    fill(m_durationText, QString(), &StationSession::durationTextChanged);
    fill(m_feeText, QString(), &StationSession::feeTextChanged);
    emit startEnabledChanged(false);
    emit stopEnabledChanged(true);
    emit intervalShown(moving.period.intervalMinutes);
    showRunning(moving.period);
    m_watch.begin(countingSinceMs(*m_running), moving.period.intervalMinutes);
    if (const QHostAddress peer = m_link.peerAddress(); !peer.isNull())
        m_homeAddress = peer;
    m_priceSent.clear();
    send(Protocol::stopMessage(m_station));
    send(resumeMessage());
    showRunningFee();
}

void StationSession::extend(int minutes)
{
    if (!periodTimed())
        return;
    OpenPeriod &period = m_running->period;
    period.intervalMinutes = minutes > 0 ? period.intervalMinutes + minutes : 0;
    keepOnDisk(period, QStringLiteral("Die neue Zeit"));
    m_watch.setInterval(period.intervalMinutes);
    emit intervalShown(period.intervalMinutes);
    offerOperations();
    // The station hears it as a returning station does its period: a stop, then
    // what is left. Its stop in answer is expected.
    expectStopAnswer();
    send(Protocol::stopMessage(m_station));
    send(resumeMessage());
}

// The length the running period would be billed on if it stopped now.
qint64 StationSession::runningSeconds() const
{
    return Billing::periodLength(m_running->period.startText, m_startText,
                                 usedSeconds(*m_running, Clock::current().now()))
        .seconds;
}

std::optional<RunningFigure> StationSession::runningFigure() const
{
    if (!m_running)
        return std::nullopt;
    const qint64 seconds = runningSeconds();
    return RunningFigure{m_station, Billing::wholeMinutes(seconds),
                         Billing::bill(seconds, m_tariffs).feeUnits};
}

// What the period costs so far, with each second of its length.
void StationSession::showRunningFee()
{
    const QString feeText = Billing::bill(runningSeconds(), m_tariffs).feeText;
    emit runningFeeChanged(feeText);
    sendPrice(feeText);
    if (periodPaused())
        return;
    const qint64 sinceStartMs = Clock::current().elapsedMs() - countingSinceMs(*m_running);
    m_runningFeeTimer.startAt(countingSinceMs(*m_running) + (sinceStartMs / 1000 + 1) * 1000);
}

// Only to a station that has announced itself on this connection: one that has not
// yet would take the price for the answer to its announcement.
void StationSession::sendPrice(const QString &feeText)
{
    if (!m_sendsPrice || !m_announced || feeText == m_priceSent)
        return;
    m_priceSent = feeText;
    send(Protocol::priceMessage(m_station, feeText));
}

void StationSession::stop()
{
    const std::optional<RunningPeriod> running = std::exchange(m_running, std::nullopt);
    m_watch.end();
    m_runningFeeTimer.stop();
    m_stopAnswersAwaited = 0;
    offerOperations();
    emit headingChanged(Heading::Idle);
    if (running)
        send(Protocol::stopMessage(m_station));
    emit runningTimeChanged(QStringLiteral("Timer"));
    if (running) {
        const QDateTime now = Clock::current().now();
        fill(m_stopText, TextFormats::timeOfDay(now.time()), &StationSession::stopTextChanged);
        billPeriod(*running, now);
    }
    emit startEnabledChanged(m_controlsEnabled); // off on a panel whose station is gone
    emit stopEnabledChanged(false);
    emit intervalShown(0);
}

void StationSession::correctStartText(const QString &text)
{
    m_startText = text;
}

// The time that passed since the real start. While the wall clock keeps pace with
// measured time it is the record's end minus its start, both to the second, so
// that the record's texts and its bill agree; a wall clock that stepped meanwhile
// leaves measured time to decide.
qint64 StationSession::measuredSeconds(const RunningPeriod &running,
                                       const QDateTime &stopMoment) const
{
    const qint64 measuredMs = Clock::current().elapsedMs() - running.startElapsedMs;
    const qint64 wallMs = running.period.begin.msecsTo(stopMoment);
    return std::abs(wallMs - measuredMs) <= wallClockToleranceMs
        ? wholeSeconds(stopMoment) - wholeSeconds(running.period.begin)
        : measuredMs / 1000;
}

// The time used: measured, less the pauses.
qint64 StationSession::usedSeconds(const RunningPeriod &running, const QDateTime &stopMoment) const
{
    return qMax<qint64>(0, measuredSeconds(running, stopMoment) - pausedSeconds(running));
}

// The length is the time used, changed only by a readable correction of the start
// box. The record keeps the pauses apart.
void StationSession::billPeriod(const RunningPeriod &running, const QDateTime &stopMoment)
{
    const qint64 usedSeconds = this->usedSeconds(running, stopMoment);
    const QString startBoxText = m_startText;
    PeriodLength length
        = Billing::periodLength(running.period.startText, startBoxText, usedSeconds);
    const bool beyondRight = !m_onDuty.mayCorrectBy(usedSeconds - length.seconds);
    if (beyondRight)
        length = Billing::periodLength(running.period.startText, running.period.startText,
                                       usedSeconds);
    const PeriodBill bill = Billing::bill(length.seconds, m_tariffs);
    fill(m_startText, length.startText, &StationSession::startTextChanged);
    fill(m_feeText, bill.feeText, &StationSession::feeTextChanged);
    fill(m_durationText, bill.durationText, &StationSession::durationTextChanged);
    const UsageRecord record{m_startText, m_stopText, m_durationText, m_feeText};
    // A correction of the start box moves the start by as much as it changes the length;
    // the real start and its fee stay beside the record.
    const QDateTime startMoment = running.period.begin.addSecs(usedSeconds - length.seconds);
    std::optional<StoppedPeriod::Correction> correction;
    if (length.seconds != usedSeconds)
        correction = StoppedPeriod::Correction{
            running.period.begin,
            TextFormats::parseMoney(Billing::bill(usedSeconds, m_tariffs).feeText).value_or(0)};
    OpenPeriod period = running.period;
    period.pausedSeconds = pausedSeconds(running);
    period.pausedSince = QDateTime();
    m_ledger.finish({period, record, bill.durationSeconds, stopMoment.date().month(), startMoment,
                     stopMoment, correction});
    if (length.startUnreadable) {
        const QString text
            = QStringLiteral(
                  "Station %1: Die Startzeit „%2“ ist keine Uhrzeit. Abgerechnet wurde ab dem"
                  " tatsächlichen Start um %3.")
                  .arg(m_station)
                  .arg(startBoxText, running.period.startText);
        emit problem(text);
    }
    if (beyondRight)
        emit problem(QStringLiteral("Station %1: Die Startzeit darf nur der Inhaber um mehr als 5"
                                    " Minuten korrigieren. Abgerechnet wurde ab dem tatsächlichen"
                                    " Start um %2.")
                         .arg(QString::number(m_station), running.period.startText));
}

void StationSession::fill(QString &box, const QString &text,
                          void (StationSession::*changed)(const QString &))
{
    box = text;
    emit(this->*changed)(text);
}

// A stop overtakes a start that has not left yet: the station need not see a
// period that is over already.
void StationSession::send(const QString &text)
{
    const QString stop = Protocol::stopMessage(m_station);
    while (text == stop && m_sender.lastWaiting().value_or(stop) != stop)
        m_sender.withdrawLastWaiting();
    m_sender.send(text); // a station that is not connected misses it, as it would
}

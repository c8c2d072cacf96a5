#include "PeriodWatch.h"

#include "Billing.h"
#include "Clock.h"
#include "TextFormats.h"

#include <algorithm>
#include <limits>
#include <utility>

PeriodWatch::PeriodWatch(int station, QObject *parent)
    : QObject(parent)
    , m_station(station)
{
    connect(&m_timer, &ClockTimer::timeout, this, &PeriodWatch::update);
}

void PeriodWatch::begin(qint64 startMs, int intervalMinutes)
{
    watch(startMs, intervalMinutes, m_linked);
}

void PeriodWatch::resume(qint64 startMs, int intervalMinutes)
{
    watch(startMs, intervalMinutes, true);
}

void PeriodWatch::watch(qint64 startMs, int intervalMinutes, bool stationExpected)
{
    endNotice();
    m_watching = true;
    m_stationExpected = stationExpected;
    m_lastHeardMs = Clock::current().elapsedMs();
    m_startMs = startMs;
    m_alarm = Alarm::None;
    setInterval(intervalMinutes);
}

void PeriodWatch::setInterval(int intervalMinutes)
{
    if (!m_watching)
        return;
    m_endMs = intervalMinutes > 0
        ? std::optional<qint64>(m_startMs + 60'000 * qint64(intervalMinutes))
        : std::nullopt;
    update();
}

void PeriodWatch::end()
{
    m_watching = false;
    m_alarm = Alarm::None;
    m_timer.stop();
    endNotice();
}

void PeriodWatch::heard()
{
    if (!m_watching)
        return;
    m_lastHeardMs = Clock::current().elapsedMs();
    if (m_alarm == Alarm::Silent)
        update();
}

void PeriodWatch::setLinked(bool linked)
{
    m_linked = linked;
    if (!m_watching)
        return;
    // A station that connects during a period is expected to go on with it.
    m_stationExpected = m_stationExpected || linked;
    update();
}

void PeriodWatch::update()
{
    const qint64 nowMs = Clock::current().elapsedMs();
    const Alarm alarm = alarmAt(nowMs);
    const Alarm was = std::exchange(m_alarm, alarm);
    if (alarm != was) {
        endNotice();
        if (alarm != Alarm::None) {
            m_notice = noticeFor(alarm, nowMs);
            emit notice(m_notice);
        }
    }
    if (alarm != Alarm::None) {
        const QString what = alarm == Alarm::Silent
            ? QStringLiteral("Station meldet sich nicht seit ")
            : QStringLiteral("Zeit abgelaufen seit ");
        emit alarmChanged(what + Billing::durationText((nowMs - alarmSinceMs(alarm)) / 1000));
    } else if (was != Alarm::None) {
        emit alarmChanged(QString());
    }
    const qint64 nextMs = nextCheckMs(nowMs);
    if (nextMs == std::numeric_limits<qint64>::max())
        m_timer.stop();
    else
        m_timer.startAt(nextMs);
}

// Silence comes first: it says why a period may be overdue.
PeriodWatch::Alarm PeriodWatch::alarmAt(qint64 nowMs) const
{
    if (m_stationExpected && (!m_linked || nowMs - m_lastHeardMs >= silenceMs))
        return Alarm::Silent;
    if (m_endMs && nowMs - *m_endMs >= overdueMs)
        return Alarm::Overdue;
    return Alarm::None;
}

qint64 PeriodWatch::alarmSinceMs(Alarm alarm) const
{
    return alarm == Alarm::Silent ? m_lastHeardMs : m_endMs.value_or(0);
}

// In alarm, the next whole second of its count; otherwise the first moment one
// could begin. A station heard meanwhile only moves that moment on when it comes.
qint64 PeriodWatch::nextCheckMs(qint64 nowMs) const
{
    if (m_alarm != Alarm::None)
        return nowMs + 1000 - (nowMs - alarmSinceMs(m_alarm)) % 1000;
    qint64 nextMs = std::numeric_limits<qint64>::max();
    if (m_stationExpected && m_linked)
        nextMs = m_lastHeardMs + silenceMs;
    if (m_endMs)
        nextMs = std::min(nextMs, *m_endMs + overdueMs);
    return nextMs;
}

QString PeriodWatch::noticeFor(Alarm alarm, qint64 nowMs) const
{
    const QDateTime since = Clock::current().now().addMSecs(alarmSinceMs(alarm) - nowMs);
    const QString format = alarm == Alarm::Silent
        ? QStringLiteral("Station %1 meldet sich nicht seit %2.")
        : QStringLiteral("Station %1: Zeit abgelaufen seit %2.");
    return format.arg(QString::number(m_station), TextFormats::timeOfDay(since.time()));
}

void PeriodWatch::endNotice()
{
    if (!m_notice.isEmpty())
        emit noticeOver(std::exchange(m_notice, QString()));
}

#pragma once

#include "ClockTimer.h"

#include <QObject>
#include <QString>

#include <optional>

// Keeps an eye on one station's running period for the operator: a station that
// should be counting but has said nothing for a while (frozen, switched off, its
// link lost), and a timed period whose end passed long ago without the station's
// stop. While either holds, the period is in alarm; the alarm's text counts the
// seconds on. Nothing is watched while no period runs.
class PeriodWatch : public QObject
{
    Q_OBJECT

public:
    // A connected station sends its time every second; this long without a word
    // it is taken as silent.
    static constexpr qint64 silenceMs = 5000;
    // A timed period still open this long after its end is overdue.
    static constexpr qint64 overdueMs = 30000;

    explicit PeriodWatch(int station, QObject *parent = nullptr);

    // A period began at `startMs` on the clock's count (0 minutes: open-ended). Its
    // station has to speak if it is linked; a period begun without a station has
    // only its end watched, until a station connects.
    void begin(qint64 startMs, int intervalMinutes);
    // A period left open by an earlier run goes on: its station has to speak, linked
    // or not.
    void resume(qint64 startMs, int intervalMinutes);
    // The running period's end moved: it is `intervalMinutes` from its start now (0:
    // none).
    void setInterval(int intervalMinutes);
    // No period any more; an alarm ends without a word, the status bar's notice goes.
    void end();
    // The station sent something.
    void heard();
    void setLinked(bool linked);

    bool inAlarm() const { return m_alarm != Alarm::None; }

signals:
    // The text to show in place of the station's time, every second while the alarm
    // lasts; empty once it is over with the period still running.
    void alarmChanged(const QString &text);
    // For the status bar, naming the station, while the alarm lasts.
    void notice(const QString &text);
    void noticeOver(const QString &text);

private:
    enum class Alarm { None, Silent, Overdue };

    void watch(qint64 startMs, int intervalMinutes, bool stationExpected);
    void update();
    Alarm alarmAt(qint64 nowMs) const;
    qint64 alarmSinceMs(Alarm alarm) const;
    qint64 nextCheckMs(qint64 nowMs) const;
    QString noticeFor(Alarm alarm, qint64 nowMs) const;
    void endNotice();

    int m_station;
    bool m_watching = false;
    bool m_linked = false;
    bool m_stationExpected = false;
    qint64 m_lastHeardMs = 0;
    qint64 m_startMs = 0;
    std::optional<qint64> m_endMs; // none: open-ended
    Alarm m_alarm = Alarm::None;
    QString m_notice;
    ClockTimer m_timer;
};

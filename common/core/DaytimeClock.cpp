#include "DaytimeClock.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <array>
#include <ctime>

namespace DaytimeClock {
namespace {

bool writeSystemClock(qint64 secondsSinceEpoch)
{
    timespec moment{};
    moment.tv_sec = static_cast<time_t>(secondsSinceEpoch);
    if (moment.tv_sec != secondsSinceEpoch)
        return false;
    return clock_settime(CLOCK_REALTIME, &moment) == 0;
}

ClockWriter &installedWriter()
{
    static ClockWriter writer;
    return writer;
}

// Three two-digit numbers joined by `separator` ("04-05-12", "10:20:30").
std::optional<std::array<int, 3>> threeTwoDigitNumbers(const QString &field, QChar separator)
{
    if (field.size() != 8 || field[2] != separator || field[5] != separator)
        return std::nullopt;
    std::array<int, 3> numbers{};
    for (int i = 0; i < 3; ++i) {
        const QChar tens = field[i * 3];
        const QChar ones = field[i * 3 + 1];
        if (tens < u'0' || tens > u'9' || ones < u'0' || ones > u'9')
            return std::nullopt;
        numbers[i] = (tens.unicode() - u'0') * 10 + (ones.unicode() - u'0');
    }
    return numbers;
}

}

std::optional<UtcTime> parseDaytimeReply(const QString &reply)
{
    const QStringList fields = reply.split(u' ');
    if (fields.size() < 3)
        return std::nullopt;
    const auto date = threeTwoDigitNumbers(fields[1], u'-');
    const auto time = threeTwoDigitNumbers(fields[2], u':');
    if (!date || !time)
        return std::nullopt;
    const auto [yy, month, day] = *date;
    const auto [hour, minute, second] = *time;
    return UtcTime{2000 + yy, month, day, hour, minute, second};
}

Failure setSystemClock(const UtcTime &time)
{
    const QDate date(time.year, time.month, time.day);
    const QTime timeOfDay(time.hour, time.minute, time.second);
    if (!date.isValid() || !timeOfDay.isValid())
        return Failure(QStringLiteral("Die Antwort des Zeitservers ist kein gültiger Zeitpunkt."));
    const qint64 seconds = QDateTime(date, timeOfDay, QTimeZone::utc()).toSecsSinceEpoch();
    const ClockWriter &writer = installedWriter();
    if (!(writer ? writer(seconds) : writeSystemClock(seconds)))
        return Failure(QStringLiteral("Die Uhr dieses PCs konnte nicht gestellt werden."));
    return Failure::none();
}

Failure SetClockFromDaytime(const QString &reply)
{
    const std::optional<UtcTime> time = parseDaytimeReply(reply);
    if (!time)
        return Failure(QStringLiteral("Die Antwort des Zeitservers enthält kein Datum und "
                                      "keine Uhrzeit."));
    return setSystemClock(*time);
}

void setClockWriter(ClockWriter writer)
{
    installedWriter() = std::move(writer);
}

}

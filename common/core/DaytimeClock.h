#pragma once

#include "Failure.h"

#include <QString>

#include <functional>
#include <optional>

// Setting this PC's clock from the reply of an internet daytime server, such as
// "53138 04-05-12 10:20:30 50 0 0 0.0 UTC(NIST) *": fields separated by single
// blanks, field 1 the UTC date YY-MM-DD, field 2 the UTC time HH:MM:SS.
namespace DaytimeClock {

inline constexpr char TimeServerHost[] = "time.nist.gov";
inline constexpr quint16 DaytimePort = 13;

// A UTC date and time as a reply spells it, not yet checked for being a real moment.
struct UtcTime
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const UtcTime &) const = default;
};

// The date and time of a reply; the year YY counts from 2000. Nothing when field 1
// or field 2 is missing or not written as two-digit numbers in that form.
std::optional<UtcTime> parseDaytimeReply(const QString &reply);

// Sets the system clock to the moment; fails, with the clock left as it was, when
// the values are no real date and time or the system refuses.
Failure setSystemClock(const UtcTime &time);

// Sets the system clock from a daytime reply; fails when the reply holds no date
// and time or the clock was not set.
Failure SetClockFromDaytime(const QString &reply);

// The step that moves the system clock to whole seconds since 1970-01-01 UTC and
// reports whether the system took it. Tests install their own, so that no test
// ever changes the machine's clock; an empty writer restores the system's own.
using ClockWriter = std::function<bool(qint64 secondsSinceEpoch)>;
void setClockWriter(ClockWriter writer);

}

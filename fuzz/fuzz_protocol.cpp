// The receiving rules of both ends on any chunk, and the time texts for any number
// of seconds.
//
// Input: the chunk's bytes as they come off the link. Its first eight bytes are also
// taken as the seconds of a time text.

#include "FuzzInput.h"

#include "Protocol.h"
#include "Windows1252.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {
bool isDigit(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

// The number at the front of the chunk, counted by its digits rather than computed.
int expectedMinutes(const QString &chunk)
{
    qsizetype at = 0;
    while (at < chunk.size() && chunk.at(at) == QLatin1Char(' '))
        ++at;
    while (at < chunk.size() && chunk.at(at) == QLatin1Char('0'))
        ++at;
    qsizetype end = at;
    while (end < chunk.size() && isDigit(chunk.at(end)))
        ++end;
    const QString digits = chunk.mid(at, end - at);
    if (digits.size() > 5)
        return Protocol::maxMinutes;
    return std::min(Protocol::maxMinutes, digits.isEmpty() ? 0 : digits.toInt());
}

qsizetype leadingDigits(QStringView text)
{
    qsizetype count = 0;
    while (count < text.size() && isDigit(text.at(count)))
        ++count;
    return count;
}

// Takes one time text ("hh:mm:ss", or "dd. hh:mm:ss" with the days in front) off the
// front; false when the text does not begin with one.
bool takeTimeText(QStringView &text)
{
    qsizetype digits = leadingDigits(text);
    if (digits >= 2 && text.mid(digits).startsWith(u". ")) {
        text = text.mid(digits + 2);
        digits = leadingDigits(text);
    }
    if (digits < 2)
        return false;
    text = text.mid(digits);
    for (int field = 0; field < 2; ++field) {
        if (!text.startsWith(u':') || leadingDigits(text.mid(1)) < 2)
            return false;
        text = text.mid(3);
    }
    return true;
}

// A stop of the station's, with nothing but whole time texts before it.
bool isStationStop(const QString &chunk, int station)
{
    const QString stop = QLatin1String("Stop") + QString::number(station);
    if (!chunk.endsWith(stop))
        return false;
    QStringView before = QStringView(chunk).chopped(stop.size());
    while (!before.isEmpty()) {
        if (!takeTimeText(before))
            return false;
    }
    return true;
}

void checkConsoleRules(const QString &chunk, int station)
{
    const QString n = QString::number(station);
    const QString lastTime = QStringLiteral("00:00:00");
    const bool startup = Protocol::isStartup(chunk, station);
    const bool stop = Protocol::isStop(chunk, station);
    const bool start = Protocol::isStart(chunk, station);
    FUZZ_CHECK(startup == (chunk == QLatin1String("Startup") + n));
    FUZZ_CHECK(stop == isStationStop(chunk, station));
    FUZZ_CHECK(start
               == QStringList({QLatin1String("Start") + n, lastTime + QLatin1String("Start") + n})
                      .contains(chunk));
    FUZZ_CHECK(int(startup) + int(stop) + int(start) <= 1);
}

void checkStationRules(const QString &chunk, int station)
{
    using Protocol::StationOrder;
    const StationOrder order = Protocol::stationOrder(chunk, station);
    FUZZ_CHECK((order == StationOrder::Stop)
               == (chunk == QLatin1String("Stop") + QString::number(station)));
    FUZZ_CHECK((order == StationOrder::EndlessPeriod) == (chunk == QLatin1String("420")));
}

// Reads a time text back into seconds; -1 when it is not of the form the pattern gives.
qint64 secondsOf(const QString &text, const QRegularExpression &pattern)
{
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return -1;
    const qint64 days = match.captured(QStringLiteral("days")).toLongLong();
    const qint64 hours = match.captured(QStringLiteral("hours")).toLongLong();
    return days * 86400 + hours * 3600 + match.captured(QStringLiteral("minutes")).toLongLong() * 60
        + match.captured(QStringLiteral("seconds")).toLongLong();
}

void checkTimeTexts(qint64 seconds)
{
    const QString remaining = Protocol::remainingTimeText(seconds);
    const QString elapsed = Protocol::elapsedTimeText(seconds);
    if (seconds < 0)
        return;
    static const QRegularExpression remainingForm(
        QStringLiteral("^(?:(?<days>\\d{2,})\\. "
                       ")?(?<hours>[01]\\d|2[0-3]):(?<minutes>[0-5]\\d):(?<seconds>[0-5]\\d)$"));
    static const QRegularExpression elapsedForm(
        QStringLiteral("^(?<hours>\\d{2,}):(?<minutes>[0-5]\\d):(?<seconds>[0-5]\\d)$"));
    FUZZ_CHECK(secondsOf(remaining, remainingForm) == seconds);
    FUZZ_CHECK(remaining.contains(QLatin1Char('.')) == (seconds >= 86400));
    FUZZ_CHECK(secondsOf(elapsed, elapsedForm) == seconds);
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const QByteArray bytes = input.rest();
    const QString chunk = Windows1252::decode(bytes);
    FUZZ_CHECK(chunk.size() == bytes.size());
    FUZZ_CHECK(Windows1252::encode(chunk) == bytes);

    for (int station = 1; station <= 2; ++station) {
        checkConsoleRules(chunk, station);
        checkStationRules(chunk, station);
    }
    const int minutes = Protocol::leadingMinutes(chunk);
    FUZZ_CHECK(minutes >= 0 && minutes <= Protocol::maxMinutes);
    FUZZ_CHECK(minutes == expectedMinutes(chunk));

    checkTimeTexts(FuzzInput(data, size).raw<qint64>());
    return 0;
}

// Setting the clock from any daytime reply. The clock writer only records what it
// is handed, so the machine's clock is never touched.
//
// Input: the reply's bytes as they come off the connection.

#include "FuzzInput.h"

#include "DaytimeClock.h"
#include "Windows1252.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <optional>

namespace {
struct RecordingWriter
{
    bool accepts = true;
    int calls = 0;
    qint64 seconds = 0;
};

RecordingWriter recorder;

// The date and time a reply spells when it is read field by field, or nothing.
std::optional<DaytimeClock::UtcTime> spelledTime(const QString &reply)
{
    static const QRegularExpression date(
        QRegularExpression::anchoredPattern(QStringLiteral("(\\d\\d)-(\\d\\d)-(\\d\\d)")));
    static const QRegularExpression time(
        QRegularExpression::anchoredPattern(QStringLiteral("(\\d\\d):(\\d\\d):(\\d\\d)")));
    const QStringList fields = reply.split(QLatin1Char(' '));
    if (fields.size() < 3)
        return std::nullopt;
    const QRegularExpressionMatch d = date.match(fields[1]);
    const QRegularExpressionMatch t = time.match(fields[2]);
    if (!d.hasMatch() || !t.hasMatch())
        return std::nullopt;
    return DaytimeClock::UtcTime{2000 + d.captured(1).toInt(), d.captured(2).toInt(),
                                 d.captured(3).toInt(),        t.captured(1).toInt(),
                                 t.captured(2).toInt(),        t.captured(3).toInt()};
}

void checkSetting(const QString &reply, const std::optional<DaytimeClock::UtcTime> &spelled,
                  bool writerAccepts)
{
    recorder = RecordingWriter{writerAccepts};
    const bool set = !DaytimeClock::SetClockFromDaytime(reply);
    const QDate date = spelled ? QDate(spelled->year, spelled->month, spelled->day) : QDate();
    const QTime time = spelled ? QTime(spelled->hour, spelled->minute, spelled->second) : QTime();
    const bool real = date.isValid() && time.isValid();
    FUZZ_CHECK(recorder.calls == (real ? 1 : 0));
    FUZZ_CHECK(set == (real && writerAccepts));
    if (!real)
        return;
    const QDateTime handed = QDateTime::fromSecsSinceEpoch(recorder.seconds, QTimeZone::utc());
    FUZZ_CHECK(handed.isValid());
    FUZZ_CHECK(handed.date().year() >= 2000 && handed.date().year() <= 2099);
    FUZZ_CHECK(handed.date() == date && handed.time() == time);
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool installed = [] {
        DaytimeClock::setClockWriter([](qint64 seconds) {
            ++recorder.calls;
            recorder.seconds = seconds;
            return recorder.accepts;
        });
        return true;
    }();
    FUZZ_CHECK(installed);

    const QString reply = Windows1252::decode(FuzzInput(data, size).rest());
    const std::optional<DaytimeClock::UtcTime> spelled = spelledTime(reply);
    FUZZ_CHECK(DaytimeClock::parseDaytimeReply(reply) == spelled);
    checkSetting(reply, spelled, true);
    checkSetting(reply, spelled, false);
    return 0;
}

#include "Protocol.h"

#include "TextFormats.h"

#include <QRegularExpression>

namespace Protocol {
namespace {
constexpr quint16 firstStationPort = 12000;
constexpr quint16 portStep = 10;
const QString lastTimeText = QStringLiteral("00:00:00");

QString numbered(const char *word, int station)
{
    return QLatin1String(word) + QString::number(station);
}

QString hoursMinutesSeconds(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    return TextFormats::twoDigits(hours) + QLatin1Char(':') + TextFormats::twoDigits(minutes)
        + QLatin1Char(':') + TextFormats::twoDigits(seconds - 3600 * hours - 60 * minutes);
}
}

quint16 port(int station)
{
    return firstStationPort + portStep * (station - 1);
}

QString startupMessage(int station)
{
    return numbered("Startup", station);
}

QString stopMessage(int station)
{
    return numbered("Stop", station);
}

QString startMessage(int station)
{
    return numbered("Start", station);
}

QString lockFailureMessage()
{
    return QStringLiteral("Sperre nicht wirksam");
}

QString priceMessage(int station, const QString &feeText)
{
    return numbered("Preis", station) + QLatin1Char(' ') + feeText;
}

QString priceText(const QString &chunk, int station)
{
    static const QRegularExpression fee(QStringLiteral(u"\\A\\d{1,3}(?:\\.\\d{3})*,\\d\\d €\\z"));
    const QString prefix = numbered("Preis", station) + QLatin1Char(' ');
    if (!chunk.startsWith(prefix))
        return {};
    const QString text = chunk.mid(prefix.size());
    return fee.match(text).hasMatch() ? text : QString();
}

QString intervalMessage(std::optional<int> minutes)
{
    return QString::number(minutes.value_or(endlessMinutes));
}

bool isStartup(const QString &chunk, int station)
{
    return chunk == startupMessage(station);
}

// Time texts pile up while the console is busy, and the stop that the station
// sent behind them must not be lost with them.
bool isStop(const QString &chunk, int station)
{
    static const QRegularExpression timeTexts(
        QStringLiteral("\\A(?:(?:\\d{2,}\\. )?\\d{2,}:\\d\\d:\\d\\d)*\\z"));
    const QString stop = stopMessage(station);
    return chunk.endsWith(stop) && timeTexts.match(chunk.chopped(stop.size())).hasMatch();
}

bool isStart(const QString &chunk, int station)
{
    const QString start = startMessage(station);
    return chunk == start || chunk == lastTimeText + start;
}

StationOrder stationOrder(const QString &chunk, int station)
{
    if (chunk == stopMessage(station))
        return StationOrder::Stop;
    if (chunk == QString::number(endlessMinutes))
        return StationOrder::EndlessPeriod;
    return StationOrder::TimedPeriod;
}

int leadingMinutes(const QString &text)
{
    qsizetype at = 0;
    while (at < text.size() && text.at(at) == QLatin1Char(' '))
        ++at;
    int minutes = 0;
    for (; at < text.size() && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9');
         ++at)
        minutes = qMin(maxMinutes, minutes * 10 + text.at(at).digitValue());
    return minutes;
}

QString remainingTimeText(qint64 seconds)
{
    const qint64 days = seconds / 86400;
    const QString daysText
        = days > 0 ? TextFormats::twoDigits(days) + QStringLiteral(". ") : QString();
    return daysText + hoursMinutesSeconds(seconds - 86400 * days);
}

QString elapsedTimeText(qint64 seconds)
{
    return hoursMinutesSeconds(seconds);
}

}

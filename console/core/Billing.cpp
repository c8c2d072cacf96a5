#include "Billing.h"

#include "TextFormats.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 secondsPerDay = 86400;
constexpr double unitsPerEuro = 10000.0;
// Fees beyond this do not fit the ten-thousandths count; they are not billed.
constexpr double largestFeeUnits = 9.0e18;

double roundHalfEven(double value)
{
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(down, 2.0) != 0.0))
        return down + 1.0;
    return down;
}

// The start box as the operator may correct it: hh:mm:ss or hh:mm.
std::optional<QTime> readStartBox(const QString &text)
{
    if (const std::optional<QTime> time = TextFormats::parseTimeOfDay(text))
        return time;
    if (text.count(QLatin1Char(':')) == 1)
        return TextFormats::parseTimeOfDay(text.trimmed() + QStringLiteral(":00"));
    return std::nullopt;
}

constexpr qint64 tariffThresholds[] = {1800, 3600};

const QString &tariffFor(qint64 durationSeconds, const Tariffs &tariffs)
{
    if (durationSeconds >= tariffThresholds[1])
        return tariffs.over60;
    if (durationSeconds >= tariffThresholds[0])
        return tariffs.over30;
    return tariffs.base;
}

// The fee by the tariff the duration falls under; none when it can't be read.
std::optional<qint64> tariffUnits(qint64 durationSeconds, const Tariffs &tariffs)
{
    const std::optional<double> tariff
        = TextFormats::parseDecimal(tariffFor(durationSeconds, tariffs));
    if (!tariff)
        return std::nullopt;
    const double minutes = double(durationSeconds) / 60.0;
    const double units = roundHalfEven(*tariff / 15.0 * minutes * unitsPerEuro);
    return std::abs(units) < largestFeeUnits ? qint64(units) : 0;
}
}

PeriodBill Billing::bill(qint64 durationSeconds, const Tariffs &tariffs)
{
    PeriodBill result;
    result.durationSeconds = durationSeconds;
    result.feeUnits = feeUnits(durationSeconds, tariffs);
    result.feeText = TextFormats::money(result.feeUnits);
    result.durationText = durationText(durationSeconds);
    return result;
}

PeriodLength Billing::periodLength(const QString &realStartText, const QString &startBoxText,
                                   qint64 measuredSeconds)
{
    const std::optional<QTime> real = TextFormats::parseTimeOfDay(realStartText);
    const std::optional<QTime> corrected = readStartBox(startBoxText);
    if (!real || !corrected)
        return {measuredSeconds, realStartText, !corrected};
    qint64 shift = real->secsTo(*corrected) % secondsPerDay;
    if (shift >= secondsPerDay / 2)
        shift -= secondsPerDay;
    else if (shift < -secondsPerDay / 2)
        shift += secondsPerDay;
    return {qMax<qint64>(0, measuredSeconds - shift), TextFormats::timeOfDay(*corrected), false};
}

QString Billing::durationText(qint64 seconds)
{
    const qint64 whole = qMax<qint64>(0, seconds);
    if (whole < secondsPerDay)
        return formatSeconds(qint32(whole), QStringLiteral("hh:nn:ss"));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(TextFormats::twoDigits(whole / 60 % 60), TextFormats::twoDigits(whole % 60));
}

qint64 Billing::feeUnits(qint64 durationSeconds, const Tariffs &tariffs)
{
    qint64 units = tariffUnits(durationSeconds, tariffs).value_or(0);
    if (!tariffs.capByLongerPeriods)
        return units;
    for (const qint64 threshold : tariffThresholds) {
        if (durationSeconds < threshold)
            units = std::min(units, tariffUnits(threshold, tariffs).value_or(units));
    }
    return units;
}

QString Billing::formatSeconds(qint32 seconds, const QString &format)
{
    const qint64 ofDay = std::abs(qint64(seconds)) % secondsPerDay;
    QString text = format;
    text.replace(QStringLiteral("mm"), QStringLiteral("nn"));
    text.replace(QStringLiteral("hh"), TextFormats::twoDigits(ofDay / 3600));
    text.replace(QStringLiteral("nn"), TextFormats::twoDigits(ofDay / 60 % 60));
    text.replace(QStringLiteral("ss"), TextFormats::twoDigits(ofDay % 60));
    return text;
}

qint64 Billing::durationSeconds(QStringView text)
{
    const bool back = text.startsWith(u'-');
    const QStringView parts = text.sliced(back ? 1 : 0);
    const qsizetype first = parts.indexOf(u':');
    const qsizetype second = first < 0 ? -1 : parts.indexOf(u':', first + 1);
    if (second < 0 || parts.indexOf(u':', second + 1) >= 0)
        return 0;
    const qint64 seconds = parts.first(first).toLongLong() * 3600
        + parts.sliced(first + 1, second - first - 1).toLongLong() * 60
        + parts.sliced(second + 1).toLongLong();
    return back ? -seconds : seconds;
}

qint64 Billing::wholeMinutes(qint64 seconds)
{
    return qint64(roundHalfEven(double(seconds) / 60.0));
}

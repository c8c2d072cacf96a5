#include "Billing.h"

#include "TextFormats.h"

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

const QString &tariffFor(qint64 durationSeconds, const Tariffs &tariffs)
{
    if (durationSeconds >= 3600)
        return tariffs.over60;
    if (durationSeconds >= 1800)
        return tariffs.over30;
    return tariffs.base;
}
}

std::optional<PeriodBill> Billing::bill(const QString &startText, const QString &stopText,
                                        const Tariffs &tariffs)
{
    const std::optional<QTime> start = TextFormats::parseTimeOfDay(startText);
    const std::optional<QTime> stop = TextFormats::parseTimeOfDay(stopText);
    if (!start || !stop)
        return std::nullopt;

    PeriodBill result;
    result.durationSeconds = durationSeconds(*start, *stop);
    result.feeUnits = feeUnits(result.durationSeconds, tariffs);
    result.feeText = TextFormats::money(result.feeUnits);
    result.durationText = formatSeconds(qint32(result.durationSeconds), QStringLiteral("hh:nn:ss"));
    return result;
}

qint64 Billing::durationSeconds(const QTime &start, const QTime &stop)
{
    const qint64 seconds = start.secsTo(stop);
    return seconds < 0 ? seconds + secondsPerDay : seconds;
}

qint64 Billing::feeUnits(qint64 durationSeconds, const Tariffs &tariffs)
{
    const std::optional<double> tariff = TextFormats::parseDecimal(tariffFor(durationSeconds, tariffs));
    if (!tariff)
        return 0;
    const double minutes = double(durationSeconds) / 60.0;
    const double units = roundHalfEven(*tariff / 15.0 * minutes * unitsPerEuro);
    return std::abs(units) < largestFeeUnits ? qint64(units) : 0;
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

qint64 Billing::wholeMinutes(qint64 seconds)
{
    return qint64(roundHalfEven(double(seconds) / 60.0));
}

#include "TextFormats.h"

#include <QRegularExpression>

#include <cstdlib>
#include <limits>

namespace TextFormats {
namespace {
constexpr qint64 unitsPerEuro = 10000;
const QChar euroSign(0x20AC);

QString groupedThousands(qint64 value)
{
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char('.'));
    return digits;
}

// 14:05:09, each part of one or two digits.
const QRegularExpression &timeOfDayForm()
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2}):(\\d{1,2})\\s*$"));
    return form;
}

// 1,5 or 1.5 or ,5, with a sign.
const QRegularExpression &decimalForm()
{
    static const QRegularExpression form(QStringLiteral("^\\s*([+-]?)(\\d*)(?:[,.](\\d*))?\\s*$"));
    return form;
}

// 1.234,50 € or 1234,5, the euro sign optional.
const QRegularExpression &moneyForm()
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(-?)(\\d{1,3}(?:\\.\\d{3})*|\\d+)(?:,(\\d{1,4}))?\\s*\u20AC?\\s*$"));
    return form;
}

// The match of the whole of `text` against `form`, if it matches.
std::optional<QRegularExpressionMatch> matchOf(const QRegularExpression &form, const QString &text)
{
    QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match;
}
}

QString count(qint64 value)
{
    return value < 0 ? QLatin1Char('-') + groupedThousands(-value) : groupedThousands(value);
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString timeOfDay(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString date(const QDate &date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

QString moment(const QDateTime &moment)
{
    if (!moment.isValid())
        return {};
    return moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODate);
}

QString money(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const qint64 magnitude = std::llabs(tenThousandths);
    const qint64 cents = (magnitude + 50) / 100;
    const QString text = groupedThousands(cents / 100) + QLatin1Char(',') + twoDigits(cents % 100)
        + QLatin1Char(' ') + euroSign;
    return negative && cents != 0 ? QLatin1Char('-') + text : text;
}

QString plainAmount(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const qint64 magnitude = std::llabs(tenThousandths);
    QString text = QString::number(magnitude / unitsPerEuro);
    QString fraction = QStringLiteral("%1").arg(magnitude % unitsPerEuro, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += QLatin1Char(',') + fraction;
    return negative ? QLatin1Char('-') + text : text;
}

std::optional<QTime> parseTimeOfDay(const QString &text)
{
    const std::optional<QRegularExpressionMatch> match = matchOf(timeOfDayForm(), text);
    if (!match)
        return std::nullopt;
    const QTime time(match->captured(1).toInt(), match->captured(2).toInt(),
                     match->captured(3).toInt());
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<int> parseWholeNumber(const QString &text, int first, int last)
{
    static const QRegularExpression digitsOnly(QStringLiteral("\\A[0-9]{1,9}\\z"));
    if (!digitsOnly.match(text).hasMatch())
        return std::nullopt;
    const int number = text.toInt();
    if (number < first || number > last)
        return std::nullopt;
    return number;
}

std::optional<double> parseDecimal(const QString &text)
{
    const std::optional<QRegularExpressionMatch> match = matchOf(decimalForm(), text);
    if (!match || (match->captured(2).isEmpty() && match->captured(3).isEmpty()))
        return std::nullopt;
    const QString normalised = match->captured(1)
        + (match->captured(2).isEmpty() ? QStringLiteral("0") : match->captured(2))
        + QLatin1Char('.')
        + (match->captured(3).isEmpty() ? QStringLiteral("0") : match->captured(3));
    bool ok = false;
    const double value = normalised.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<qint64> parseMoney(const QString &text)
{
    const std::optional<QRegularExpressionMatch> match = matchOf(moneyForm(), text);
    if (!match)
        return std::nullopt;
    QString whole = match->captured(2);
    whole.remove(QLatin1Char('.'));
    const QString fraction = match->captured(3).leftJustified(4, QLatin1Char('0'));
    bool wholeOk = false;
    const qint64 euros = whole.toLongLong(&wholeOk);
    if (!wholeOk || euros > std::numeric_limits<qint64>::max() / unitsPerEuro - 1)
        return std::nullopt;
    const qint64 units = euros * unitsPerEuro + fraction.toLongLong();
    return match->captured(1).isEmpty() ? units : -units;
}

}

#include "StoredMoney.h"

#include "TextFormats.h"

#include <QRegularExpression>

#include <cmath>

namespace StoredMoney {

namespace {
constexpr int decimals = 4;
constexpr qint64 unitsPerEuro = 10000;

// Sign, whole euros and fraction digits of a plain decimal amount; the fraction
// beyond four places decides the rounding, halves to even.
std::optional<qint64> fromDecimal(bool negative, const QString &whole, const QString &fraction)
{
    bool ok = false;
    const qint64 euros = (whole.isEmpty() ? QStringLiteral("0") : whole).toLongLong(&ok);
    qint64 units = 0;
    if (!ok || qMulOverflow(euros, unitsPerEuro, &units)
        || qAddOverflow(
            units, fraction.left(decimals).leftJustified(decimals, QLatin1Char('0')).toLongLong(),
            &units))
        return std::nullopt;
    // Digit strings of one length compare as their numbers do.
    const QString rest = fraction.mid(decimals);
    const int againstHalf
        = rest.compare(QStringLiteral("5").leftJustified(rest.size(), QLatin1Char('0')));
    if (!rest.isEmpty() && (againstHalf > 0 || (againstHalf == 0 && units % 2 != 0))
        && qAddOverflow(units, qint64(1), &units))
        return std::nullopt;
    return negative ? -units : units;
}
}

std::optional<qint64> fromReal(double euros)
{
    if (!std::isfinite(euros))
        return std::nullopt;
    // Up to a hundred billion euros a double lies within a millionth of a euro of
    // the amount typed, so twelve decimals round back to it.
    return fromText(QString::number(euros, 'f', 12));
}

std::optional<qint64> fromText(const QString &text)
{
    static const QRegularExpression integer(QStringLiteral("^\\s*([-+]?\\d+)\\s*$"));
    static const QRegularExpression decimal(QStringLiteral("^\\s*([-+]?)(\\d*)[.,](\\d+)\\s*$"));
    if (const QRegularExpressionMatch match = integer.match(text); match.hasMatch()) {
        bool ok = false;
        const qint64 units = match.captured(1).toLongLong(&ok);
        return ok ? std::optional<qint64>(units) : std::nullopt;
    }
    if (const QRegularExpressionMatch match = decimal.match(text); match.hasMatch())
        return fromDecimal(match.captured(1) == QLatin1String("-"), match.captured(2),
                           match.captured(3));
    return TextFormats::parseMoney(text);
}

}

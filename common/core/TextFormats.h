#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// The German text forms of the user interface, fixed whatever the system locale.
namespace TextFormats {

QString timeOfDay(const QTime &time);       // 14:05:09
QString date(const QDate &date);            // 12.05.2004
QString money(qint64 tenThousandths);       // 1.234,50 € (two decimals, halves away from zero)
QString plainAmount(qint64 tenThousandths); // 12,5 - no trailing zeros, no sign
QString twoDigits(qint64 value);            // 05, 123
QString count(qint64 value);                // 1.234 (a whole number, points between thousands)
// A moment as the records keep it, local date and time to the second with the
// offset from UTC: 2026-03-29T01:59:59+01:00; empty for none.
QString moment(const QDateTime &moment);

// A time of day written hh:mm:ss (one or two digits each); nothing for other text.
std::optional<QTime> parseTimeOfDay(const QString &text);

// A decimal number with a comma or a point before the fraction ("1,50", "1.50",
// " 2 "); thousands separators are not accepted. Nothing for other text.
std::optional<double> parseDecimal(const QString &text);

// A whole number from `first` to `last` written in decimal digits alone, leading
// zeros allowed, with no sign or blanks; nothing for other text.
std::optional<int> parseWholeNumber(const QString &text, int first, int last);

// A money text as the fee box shows it ("1.234,50 €", "1,05 €", "0,00 €") back to
// ten-thousandths of a euro.
std::optional<qint64> parseMoney(const QString &text);

}

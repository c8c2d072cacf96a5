#pragma once

#include <QString>

#include <optional>

// A fee or total as found in the usage database. The console itself writes whole
// ten-thousandths of a euro (1,05 € as 10500); a value typed with decimals by hand
// in the database shell (1.05, '1,05') means euros. Both read back exactly.
namespace StoredMoney {

// A number the engine stored as a real: euros, rounded to ten-thousandths.
std::optional<qint64> fromReal(double euros);

// Text: whole digits are ten-thousandths, as the console writes them; a decimal
// with a point or a comma ("1.05", "-0,5") or the fee box's form ("1.234,50 €")
// is euros. A fifth decimal and beyond rounds halves to even. Nothing for text
// that is no amount or does not fit.
std::optional<qint64> fromText(const QString &text);

}

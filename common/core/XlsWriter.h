#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// A table as it goes into a worksheet: a row of field names, then the records.
struct XlsSheetData
{
    QStringList fieldNames;
    QList<QVariantList> rows;
};

struct XlsSheet
{
    QString name;
    XlsSheetData data;
};

// Writes Excel 5.0 workbooks: the BIFF5 workbook stream "Book" inside a compound
// document, with its text in the Windows-1252 code page.
//
// Cell types follow the values: a text becomes a text cell (cut at the 255
// characters such a cell holds), a floating-point number a number shown with two
// decimals (0.00), an integer a number shown without decimals, an empty value an
// empty cell; other values are written as their text.
//
// A worksheet holds `rowsPerSheet` rows. Each sheet starts with the field names;
// a table with more records than fit under them continues on further sheets named
// "name (2)", "name (3)", ..., each again headed by the field names, so every
// record is kept and every sheet reads on its own. Columns beyond the 256 a
// worksheet has are left out.
namespace XlsWriter {

inline constexpr int rowsPerSheet = 16384;
inline constexpr int recordsPerSheet = rowsPerSheet - 1;

QByteArray workbook(const QList<XlsSheet> &sheets);

}

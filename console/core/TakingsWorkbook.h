#pragma once

#include "Failure.h"
#include "TakingsRange.h"

#include <QList>
#include <QString>

// The records of a range of days as an Office Open XML workbook (.xlsx): one sheet,
// a row of headings, then one row per record of every station with the times as
// dates and the amounts as numbers that a spreadsheet program computes with.
namespace TakingsWorkbook {
// The file name offered for a range: einnahmen-2026-12-01-2026-12-31.xlsx.
QString fileNameFor(const QDate &first, const QDate &last);

// Writes the workbook to `path`, through a temporary file beside it renamed over
// the old one when complete; why not, naming the file.
Failure write(const QString &path, const QList<TakingsRecord> &records);
}

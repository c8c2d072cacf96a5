#include "TakingsWorkbook.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

#include <xlsxwriter.h>

namespace {
const char *const headings[] = {"Station", "Nummer", "Beginn",   "Ende",     "Dauer",
                                "Minuten", "Betrag", "Bediener", "Herkunft", "Pause (s)"};

lxw_datetime excelMoment(const QDateTime &moment)
{
    const QDate day = moment.date();
    const QTime time = moment.time();
    return {day.year(), day.month(), day.day(), time.hour(), time.minute(), double(time.second())};
}

struct Formats
{
    lxw_format *moment;
    lxw_format *money;
};

void writeMoment(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const QDateTime &moment,
                 lxw_format *format)
{
    if (!moment.isValid())
        return;
    lxw_datetime value = excelMoment(moment);
    worksheet_write_datetime(sheet, row, column, &value, format);
}

// A count that a record may lack (0: none) stays an empty cell, as in the table.
void writeCount(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, qint64 count)
{
    if (count > 0)
        worksheet_write_number(sheet, row, column, double(count), nullptr);
}

void writeRecord(lxw_worksheet *sheet, lxw_row_t row, const TakingsRecord &record,
                 const Formats &formats)
{
    worksheet_write_number(sheet, row, 0, record.station, nullptr);
    writeCount(sheet, row, 1, record.number);
    writeMoment(sheet, row, 2, record.begin, formats.moment);
    writeMoment(sheet, row, 3, record.end, formats.moment);
    worksheet_write_string(sheet, row, 4, record.duration.toUtf8().constData(), nullptr);
    worksheet_write_number(sheet, row, 5, double(record.minutes), nullptr);
    worksheet_write_number(sheet, row, 6, double(record.feeUnits) / 10000.0, formats.money);
    worksheet_write_string(sheet, row, 7, record.operatorName.toUtf8().constData(), nullptr);
    writeCount(sheet, row, 8, record.originStation);
    writeCount(sheet, row, 9, record.pausedSeconds);
}

// Writes the workbook under `path`; `failure` is what the operator reads when it can't.
Failure writeWorkbook(const QString &path, const QList<TakingsRecord> &records,
                      const Failure &failure)
{
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    if (!book)
        return failure;
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Einnahmen");
    Formats formats{workbook_add_format(book), workbook_add_format(book)};
    format_set_num_format(formats.moment, "dd.mm.yyyy hh:mm:ss");
    format_set_num_format(formats.money, "#,##0.00 \xe2\x82\xac");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    for (lxw_col_t column = 0; column < std::size(headings); ++column)
        worksheet_write_string(sheet, 0, column, headings[column], bold);
    worksheet_set_column(sheet, 2, 3, 20, nullptr);
    lxw_row_t row = 1;
    for (const TakingsRecord &record : records)
        writeRecord(sheet, row++, record, formats);
    return workbook_close(book) == LXW_NO_ERROR ? Failure::none() : failure;
}
}

namespace TakingsWorkbook {
QString fileNameFor(const QDate &first, const QDate &last)
{
    return QStringLiteral("einnahmen-%1-%2.xlsx")
        .arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate));
}

Failure write(const QString &path, const QList<TakingsRecord> &records)
{
    const Failure failure(QStringLiteral("Die Datei '") + QFileInfo(path).fileName()
                          + QStringLiteral("' konnte nicht geschrieben werden."));
    // Reserves a name beside the file; the library writes it anew.
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return failure;
    temporary.close();
    if (Failure unwritten = writeWorkbook(temporary.fileName(), records, failure))
        return unwritten;
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0)
        return failure;
    temporary.setAutoRemove(false);
    return Failure::none();
}
}

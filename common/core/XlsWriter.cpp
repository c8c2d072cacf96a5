#include "XlsWriter.h"

#include "CompoundFile.h"
#include "Windows1252.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace XlsWriter {
namespace {
enum RecordType : quint16 {
    EndOfFile = 0x000A,
    Font = 0x0031,
    Window1 = 0x003D,
    Codepage = 0x0042,
    BoundSheet = 0x0085,
    ExtendedFormat = 0x00E0,
    Dimensions = 0x0200,
    Number = 0x0203,
    Label = 0x0204,
    Window2 = 0x023E,
    Style = 0x0293,
    BeginOfFile = 0x0809,
};

constexpr int maxColumns = 256;
constexpr int maxTextLength = 255;
constexpr int maxSheetNameLength = 31;

// Built-in number formats every reader knows: General, "0" and "0.00".
constexpr quint16 generalFormat = 0;
constexpr quint16 integerFormat = 1;
constexpr quint16 decimalFormat = 2;

// The extended formats come as the 15 style formats of the built-in styles, which
// Excel expects first, then one cell format per number format above.
constexpr quint16 styleFormatCount = 15;
constexpr quint16 generalCell = styleFormatCount;
constexpr quint16 integerCell = styleFormatCount + 1;
constexpr quint16 decimalCell = styleFormatCount + 2;

// One worksheet's share of a table.
struct Page
{
    QByteArray name;
    const XlsSheetData *data;
    qsizetype firstRecord;
    qsizetype recordCount;
    int columns;
};

QByteArray sheetName(const QString &name, qsizetype pageIndex)
{
    const QString full = pageIndex == 0
        ? name
        : QStringLiteral("%1 (%2)").arg(name, QString::number(pageIndex + 1));
    return Windows1252::encode(full).left(maxSheetNameLength);
}

QList<Page> paginate(const QList<XlsSheet> &sheets)
{
    QList<Page> pages;
    for (const XlsSheet &sheet : sheets) {
        const qsizetype records = sheet.data.rows.size();
        const int columns = int(std::min<qsizetype>(sheet.data.fieldNames.size(), maxColumns));
        qsizetype first = 0;
        do {
            const qsizetype count = std::min<qsizetype>(recordsPerSheet, records - first);
            pages.append({sheetName(sheet.name, first / recordsPerSheet), &sheet.data, first, count,
                          columns});
            first += count;
        } while (first < records);
    }
    return pages;
}

void beginRecord(QDataStream &out, RecordType type, qsizetype length)
{
    out << quint16(type) << quint16(length);
}

void writeBytes(QDataStream &out, const QByteArray &bytes)
{
    out.writeRawData(bytes.constData(), int(bytes.size()));
}

void writeBeginOfFile(QDataStream &out, quint16 substream)
{
    constexpr quint16 biff5 = 0x0500, excel5Build = 2412, excel5Year = 1993;
    beginRecord(out, BeginOfFile, 8);
    out << biff5 << substream << excel5Build << excel5Year;
}

void writeEndOfFile(QDataStream &out)
{
    beginRecord(out, EndOfFile, 0);
}

// Excel expects four fonts before the first one a format may name.
void writeFonts(QDataStream &out)
{
    const QByteArray name = QByteArrayLiteral("Arial");
    for (int font = 0; font < 4; ++font) {
        beginRecord(out, Font, 15 + name.size());
        out << quint16(200) << quint16(0);      // 10 points, no attributes
        out << quint16(0x7FFF) << quint16(400); // window text colour, normal weight
        out << quint16(0) << quint8(0) << quint8(0) << quint8(0) << quint8(0);
        out << quint8(name.size());
        writeBytes(out, name);
    }
}

void writeExtendedFormat(QDataStream &out, bool isStyle, quint8 attributeFlags,
                         quint16 numberFormat)
{
    constexpr quint16 lockedStyle = 0xFFF5; // locked, style, no parent
    constexpr quint16 lockedCellOfNormal = 0x0001;
    constexpr quint8 bottomAligned = 0x20;
    constexpr quint32 windowColours = 0x000020C0;
    beginRecord(out, ExtendedFormat, 16);
    out << quint16(0) << numberFormat << (isStyle ? lockedStyle : lockedCellOfNormal);
    out << bottomAligned << attributeFlags << windowColours << quint32(0);
}

void writeExtendedFormats(QDataStream &out)
{
    constexpr quint8 allValid = 0x00, onlyFontValid = 0xF4, ownNumberFormat = 0x04;
    writeExtendedFormat(out, true, allValid, generalFormat);
    for (int style = 1; style < styleFormatCount; ++style)
        writeExtendedFormat(out, true, onlyFontValid, generalFormat);
    writeExtendedFormat(out, false, allValid, generalFormat);
    writeExtendedFormat(out, false, ownNumberFormat, integerFormat);
    writeExtendedFormat(out, false, ownNumberFormat, decimalFormat);
}

void writeNormalStyle(QDataStream &out)
{
    constexpr quint16 builtInStyleFormat0 = 0x8000;
    beginRecord(out, Style, 4);
    out << builtInStyleFormat0 << quint8(0) << quint8(0xFF);
}

void writeWindow(QDataStream &out)
{
    constexpr quint16 scrollBarsAndTabs = 0x0038;
    beginRecord(out, Window1, 18);
    out << quint16(0) << quint16(0) << quint16(0x25BC)
        << quint16(0x1572);                               // position and size in twips
    out << scrollBarsAndTabs << quint16(0) << quint16(0); // first sheet active and shown
    out << quint16(1) << quint16(0x0258);                 // one sheet selected, tab bar width
}

// Returns where each sheet entry keeps the stream position of its sheet.
QList<qint64> writeGlobals(QDataStream &out, const QList<Page> &pages)
{
    constexpr quint16 workbookGlobals = 0x0005, windows1252 = 1252;
    writeBeginOfFile(out, workbookGlobals);
    beginRecord(out, Codepage, 2);
    out << windows1252;
    writeWindow(out);
    writeFonts(out);
    writeExtendedFormats(out);
    writeNormalStyle(out);
    QList<qint64> positionFields;
    for (const Page &page : pages) {
        beginRecord(out, BoundSheet, 7 + page.name.size());
        positionFields.append(out.device()->pos());
        out << quint32(0) << quint8(0) << quint8(0); // position, visible worksheet
        out << quint8(page.name.size());
        writeBytes(out, page.name);
    }
    writeEndOfFile(out);
    return positionFields;
}

void writeText(QDataStream &out, quint16 row, quint16 column, const QString &text)
{
    const QByteArray bytes = Windows1252::encode(text).left(maxTextLength);
    beginRecord(out, Label, 8 + bytes.size());
    out << row << column << generalCell << quint16(bytes.size());
    writeBytes(out, bytes);
}

void writeNumber(QDataStream &out, quint16 row, quint16 column, quint16 format, double value)
{
    beginRecord(out, Number, 14);
    out << row << column << format << value;
}

void writeCell(QDataStream &out, quint16 row, quint16 column, const QVariant &value)
{
    if (value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        if (std::isfinite(value.toDouble()))
            writeNumber(out, row, column, decimalCell, value.toDouble());
        else
            writeText(out, row, column, value.toString());
        break;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        writeNumber(out, row, column, integerCell, value.toDouble());
        break;
    default:
        writeText(out, row, column, value.toString());
    }
}

void writeWorksheet(QDataStream &out, const Page &page, bool isFirst)
{
    constexpr quint16 worksheet = 0x0010;
    writeBeginOfFile(out, worksheet);
    const quint16 rows = page.columns > 0 ? quint16(page.recordCount + 1) : 0;
    beginRecord(out, Dimensions, 10);
    out << quint16(0) << rows << quint16(0) << quint16(page.columns) << quint16(0);

    for (int column = 0; column < page.columns; ++column)
        writeText(out, 0, quint16(column), page.data->fieldNames.at(column));
    for (qsizetype record = 0; record < page.recordCount; ++record) {
        const QVariantList &values = page.data->rows.at(page.firstRecord + record);
        const int columns = int(std::min<qsizetype>(values.size(), page.columns));
        for (int column = 0; column < columns; ++column)
            writeCell(out, quint16(record + 1), quint16(column), values.at(column));
    }

    // Grid lines, headings, zero values and outline symbols shown; the first sheet is the selected
    // one.
    constexpr quint16 plainView = 0x00B6, selectedAndShown = 0x0600;
    beginRecord(out, Window2, 10);
    out << quint16(isFirst ? plainView | selectedAndShown : plainView) << quint16(0) << quint16(0)
        << quint32(0);
    writeEndOfFile(out);
}
}

QByteArray workbook(const QList<XlsSheet> &sheets)
{
    const QList<Page> pages = paginate(sheets);
    QByteArray book;
    QList<qint64> positionFields;
    QList<quint32> sheetPositions;
    {
        QDataStream out(&book, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        positionFields = writeGlobals(out, pages);
        for (qsizetype page = 0; page < pages.size(); ++page) {
            sheetPositions.append(quint32(out.device()->pos()));
            writeWorksheet(out, pages.at(page), page == 0);
        }
    }
    for (qsizetype page = 0; page < pages.size(); ++page)
        qToLittleEndian(sheetPositions.at(page), book.data() + positionFields.at(page));
    return CompoundFile::withSingleStream(QStringLiteral("Book"), book);
}

}

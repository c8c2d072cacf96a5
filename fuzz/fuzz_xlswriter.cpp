// The workbook writer on any tables: sheet names and texts of any bytes, numbers
// including NaN and infinities, values of other types, tables long enough to run
// over several worksheets. The result is read back through its container and its
// records.
//
// Input: a list of steps, each one byte choosing what to do followed by its data.

#include "FuzzInput.h"

#include "Windows1252.h"
#include "XlsWriter.h"

#include <QDateTime>
#include <QtEndian>

#include <algorithm>

namespace {
// Keeps one input's workbook small enough for many runs a second.
constexpr qsizetype maxCells = 50000;
constexpr qsizetype maxRows = 40000;

QVariant otherValue(FuzzInput &input)
{
    switch (input.byte() % 7) {
    case 0:
        return QVariant::fromValue(input.raw<qint64>());
    case 1:
        return QVariant::fromValue(input.raw<quint64>());
    case 2:
        return QVariant::fromValue(input.raw<int>());
    case 3:
        return QVariant::fromValue(input.raw<float>());
    case 4:
        return QVariant::fromValue(bool(input.byte() & 1));
    case 5:
        return QDateTime::fromMSecsSinceEpoch(input.raw<qint64>() % 1'000'000'000'000'000, Qt::UTC);
    default:
        return input.shortBytes();
    }
}

QList<XlsSheet> sheetsFrom(FuzzInput &input)
{
    QList<XlsSheet> sheets;
    qsizetype cells = 0;
    qsizetype rows = 0;
    const auto current = [&sheets]() -> XlsSheetData & {
        if (sheets.isEmpty())
            sheets.append(XlsSheet{});
        return sheets.last().data;
    };
    const auto currentRow = [&current]() -> QVariantList & {
        if (current().rows.isEmpty())
            current().rows.append(QVariantList());
        return current().rows.last();
    };
    while (!input.atEnd() && cells < maxCells && rows < maxRows) {
        switch (input.byte() % 8) {
        case 0:
            sheets.append(XlsSheet{Windows1252::decode(input.shortBytes()), {}});
            break;
        case 1:
            current().fieldNames.append(Windows1252::decode(input.shortBytes()));
            break;
        case 2:
            current().rows.append(QVariantList());
            ++rows;
            break;
        case 3:
            currentRow().append(Windows1252::decode(input.shortBytes()));
            ++cells;
            break;
        case 4:
            currentRow().append(input.raw<double>());
            ++cells;
            break;
        case 5:
            currentRow().append(otherValue(input));
            ++cells;
            break;
        case 6:
            currentRow().append(QVariant());
            ++cells;
            break;
        default: {
            const QVariantList row = currentRow();
            const qsizetype wanted = input.raw<quint16>();
            const qsizetype byCells = row.isEmpty() ? wanted : (maxCells - cells) / row.size();
            const qsizetype copies = std::min({wanted, byCells, maxRows - rows});
            for (qsizetype copy = 0; copy < copies; ++copy)
                current().rows.append(row);
            rows += copies;
            cells += copies * row.size();
        }
        }
    }
    return sheets;
}

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    FUZZ_CHECK(at >= 0 && at + 2 <= bytes.size());
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    FUZZ_CHECK(at >= 0 && at + 4 <= bytes.size());
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The content of the one stream "Book", found as a reader finds it: through the
// header, the allocation table and the directory.
QByteArray bookStream(const QByteArray &file)
{
    constexpr qsizetype sector = 512;
    constexpr quint32 endOfChain = 0xFFFFFFFE;
    const auto sectorAt = [&file](quint32 index) {
        FUZZ_CHECK(qsizetype(index) < file.size() / sector - 1);
        return file.mid(sector * (index + 1), sector);
    };

    FUZZ_CHECK(u16(file, 0x1E) == 9);
    const quint32 fatSectors = u32(file, 0x2C);
    QList<quint32> fatSectorIndexes;
    for (quint32 slot = 0; slot < std::min<quint32>(fatSectors, 109); ++slot)
        fatSectorIndexes.append(u32(file, 0x4C + 4 * slot));
    for (quint32 extension = u32(file, 0x44); fatSectorIndexes.size() < qsizetype(fatSectors);) {
        FUZZ_CHECK(extension != endOfChain);
        const QByteArray listing = sectorAt(extension);
        for (int slot = 0; slot < 127 && fatSectorIndexes.size() < qsizetype(fatSectors); ++slot)
            fatSectorIndexes.append(u32(listing, 4 * slot));
        extension = u32(listing, 508);
    }
    QByteArray fat;
    for (const quint32 index : fatSectorIndexes)
        fat += sectorAt(index);

    const auto chain = [&](quint32 first, qsizetype length) {
        QByteArray content;
        quint32 index = first;
        while (content.size() < length) {
            content += sectorAt(index);
            index = u32(fat, 4 * qsizetype(index));
        }
        FUZZ_CHECK(index == endOfChain);
        return content.left(length);
    };
    const QByteArray directory = chain(u32(file, 0x30), sector);
    const QByteArray entry = directory.mid(128, 128);
    FUZZ_CHECK(entry.left(10) == QByteArray("B\0o\0o\0k\0\0\0", 10));
    FUZZ_CHECK(entry.at(0x42) == 2);
    return chain(u32(entry, 0x74), u32(entry, 0x78));
}

struct Record
{
    quint16 type;
    QByteArray body;
};

Record recordAt(const QByteArray &stream, qsizetype &at)
{
    const quint16 type = u16(stream, at);
    const quint16 length = u16(stream, at + 2);
    FUZZ_CHECK(at + 4 + length <= stream.size());
    Record record{type, stream.mid(at + 4, length)};
    at += 4 + length;
    return record;
}

constexpr quint16 endOfFile = 0x000A, boundSheet = 0x0085, number = 0x0203, label = 0x0204,
                  beginOfFile = 0x0809;

// Walks one worksheet up to its end; returns how many cells it holds.
qsizetype checkWorksheet(const QByteArray &stream, qsizetype &at)
{
    Record record = recordAt(stream, at);
    FUZZ_CHECK(record.type == beginOfFile && u16(record.body, 2) == 0x0010);
    qsizetype cells = 0;
    for (record = recordAt(stream, at); record.type != endOfFile; record = recordAt(stream, at)) {
        if (record.type != label && record.type != number)
            continue;
        FUZZ_CHECK(u16(record.body, 0) < XlsWriter::rowsPerSheet);
        FUZZ_CHECK(u16(record.body, 2) < 256);
        if (record.type == label)
            FUZZ_CHECK(u16(record.body, 6) <= 255 && u16(record.body, 6) == record.body.size() - 8);
        ++cells;
    }
    return cells;
}

// What the workbook must hold: sheet names in order and the number of cells.
struct Expected
{
    QList<QByteArray> names;
    qsizetype cells = 0;
};

Expected expectedFor(const QList<XlsSheet> &sheets)
{
    Expected expected;
    for (const XlsSheet &sheet : sheets) {
        const qsizetype columns = std::min<qsizetype>(sheet.data.fieldNames.size(), 256);
        const qsizetype records = sheet.data.rows.size();
        const qsizetype pages = std::max<qsizetype>(
            1, (records + XlsWriter::recordsPerSheet - 1) / XlsWriter::recordsPerSheet);
        expected.names.append(Windows1252::encode(sheet.name).left(31));
        for (qsizetype page = 1; page < pages; ++page)
            expected.names.append(
                Windows1252::encode(sheet.name + QStringLiteral(" (%1)").arg(page + 1)).left(31));
        expected.cells += pages * columns;
        for (const QVariantList &row : sheet.data.rows) {
            const qsizetype used = std::min(row.size(), columns);
            expected.cells += std::count_if(row.cbegin(), row.cbegin() + used,
                                            [](const QVariant &value) { return !value.isNull(); });
        }
    }
    return expected;
}

void checkWorkbook(const QByteArray &stream, const Expected &expected)
{
    qsizetype at = 0;
    Record record = recordAt(stream, at);
    FUZZ_CHECK(record.type == beginOfFile && u16(record.body, 2) == 0x0005);
    QList<QByteArray> names;
    QList<quint32> positions;
    for (record = recordAt(stream, at); record.type != endOfFile; record = recordAt(stream, at)) {
        if (record.type != boundSheet)
            continue;
        positions.append(u32(record.body, 0));
        FUZZ_CHECK(quint8(record.body.at(6)) == record.body.size() - 7);
        names.append(record.body.mid(7));
    }
    FUZZ_CHECK(names == expected.names);
    qsizetype cells = 0;
    for (const quint32 position : positions) {
        FUZZ_CHECK(position == quint32(at));
        cells += checkWorksheet(stream, at);
    }
    FUZZ_CHECK(cells == expected.cells);
    FUZZ_CHECK(stream.mid(at).count('\0') == stream.size() - at);
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const QList<XlsSheet> sheets = sheetsFrom(input);
    const QByteArray file = XlsWriter::workbook(sheets);

    FUZZ_CHECK(file.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
    FUZZ_CHECK(file.size() % 512 == 0);
    checkWorkbook(bookStream(file), expectedFor(sheets));
    return 0;
}

#include "CompoundFile.h"

#include <QDataStream>
#include <QIODevice>

namespace CompoundFile {
namespace {
constexpr int sectorSize = 512;
constexpr quint32 idsPerSector = sectorSize / 4;
constexpr quint32 headerFatSlots = 109;
constexpr int directoryEntrySize = 128;
constexpr int maxNameLength = 31;

constexpr quint32 freeSector = 0xFFFFFFFF;
constexpr quint32 endOfChain = 0xFFFFFFFE;
constexpr quint32 fatSectorMark = 0xFFFFFFFD;
constexpr quint32 difatSectorMark = 0xFFFFFFFC;
constexpr quint32 noEntry = 0xFFFFFFFF;

// Sectors in file order: the stream, one directory sector, the allocation table,
// and the extension sectors listing the table sectors beyond the header's 109.
struct Layout
{
    quint32 streamSectors = 0;
    quint32 fatSectors = 0;
    quint32 difatSectors = 0;

    quint32 directorySector() const { return streamSectors; }
    quint32 firstFatSector() const { return streamSectors + 1; }
    quint32 firstDifatSector() const { return firstFatSector() + fatSectors; }
    quint32 totalSectors() const { return firstDifatSector() + difatSectors; }
};

quint32 sectorsFor(qsizetype bytes)
{
    return quint32((bytes + sectorSize - 1) / sectorSize);
}

Layout layoutFor(qsizetype streamSize)
{
    Layout layout;
    layout.streamSectors = sectorsFor(streamSize);
    // The table must also map its own sectors and the extension sectors.
    while (layout.fatSectors * idsPerSector < layout.totalSectors()) {
        ++layout.fatSectors;
        const quint32 beyondHeader
            = layout.fatSectors > headerFatSlots ? layout.fatSectors - headerFatSlots : 0;
        layout.difatSectors = (beyondHeader + idsPerSector - 2) / (idsPerSector - 1);
    }
    return layout;
}

void writeZeros(QDataStream &out, int count)
{
    const QByteArray zeros(count, '\0');
    out.writeRawData(zeros.constData(), int(zeros.size()));
}

void padToSector(QDataStream &out)
{
    const qint64 used = (out.device()->pos() - sectorSize) % sectorSize;
    if (used != 0)
        writeZeros(out, int(sectorSize - used));
}

void writeHeader(QDataStream &out, const Layout &layout)
{
    static const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    out.writeRawData(signature, 8);
    writeZeros(out, 16);                  // class id
    out << quint16(0x003E) << quint16(3); // format version 3
    out << quint16(0xFFFE);               // little-endian byte order mark
    out << quint16(9) << quint16(6);      // 512-byte sectors, 64-byte mini sectors
    writeZeros(out, 6);
    out << quint32(0); // directory sector count, unused in version 3
    out << layout.fatSectors << layout.directorySector();
    out << quint32(0); // transaction signature
    out << quint32(smallStreamLimit);
    out << endOfChain << quint32(0); // no mini allocation table
    out << (layout.difatSectors ? layout.firstDifatSector() : endOfChain) << layout.difatSectors;
    for (quint32 slot = 0; slot < headerFatSlots; ++slot)
        out << (slot < layout.fatSectors ? layout.firstFatSector() + slot : freeSector);
}

void writeDirectoryEntry(QDataStream &out, const QString &name, quint8 type, quint32 child,
                         quint32 startSector, quint32 size)
{
    const QString shortName = name.left(maxNameLength);
    for (const QChar ch : shortName)
        out << quint16(ch.unicode());
    writeZeros(out, int(64 - 2 * shortName.size()));
    out << quint16(shortName.isEmpty() ? 0 : 2 * (shortName.size() + 1));
    out << type << quint8(type ? 1 : 0); // colour black for used entries
    out << noEntry << noEntry << child;  // left, right sibling; child
    writeZeros(out, 16 + 4 + 8 + 8);     // class id, state bits, times
    out << startSector << size << quint32(0);
}

void writeDirectory(QDataStream &out, const QString &streamName, quint32 streamSize)
{
    constexpr quint8 unusedType = 0, streamType = 2, rootType = 5;
    writeDirectoryEntry(out, QStringLiteral("Root Entry"), rootType, 1, endOfChain, 0);
    writeDirectoryEntry(out, streamName, streamType, noEntry, 0, streamSize);
    for (int entry = 2; entry < sectorSize / directoryEntrySize; ++entry)
        writeDirectoryEntry(out, QString(), unusedType, noEntry, 0, 0);
}

void writeAllocationTable(QDataStream &out, const Layout &layout)
{
    for (quint32 sector = 0; sector < layout.fatSectors * idsPerSector; ++sector) {
        if (sector + 1 < layout.streamSectors)
            out << sector + 1;
        else if (sector + 1 == layout.streamSectors || sector == layout.directorySector())
            out << endOfChain;
        else if (sector >= layout.firstFatSector() && sector < layout.firstDifatSector())
            out << fatSectorMark;
        else if (sector >= layout.firstDifatSector() && sector < layout.totalSectors())
            out << difatSectorMark;
        else
            out << freeSector;
    }
}

// Each extension sector lists 127 table sectors and ends with the next extension sector.
void writeAllocationTableExtension(QDataStream &out, const Layout &layout)
{
    quint32 listed = headerFatSlots;
    for (quint32 index = 0; index < layout.difatSectors; ++index) {
        for (quint32 slot = 0; slot + 1 < idsPerSector; ++slot, ++listed)
            out << (listed < layout.fatSectors ? layout.firstFatSector() + listed : freeSector);
        const bool last = index + 1 == layout.difatSectors;
        out << (last ? endOfChain : layout.firstDifatSector() + index + 1);
    }
}
}

QByteArray withSingleStream(const QString &name, const QByteArray &content)
{
    QByteArray stream = content;
    if (stream.size() < smallStreamLimit)
        stream.append(QByteArray(smallStreamLimit - stream.size(), '\0'));
    const Layout layout = layoutFor(stream.size());

    QByteArray file;
    file.reserve(qsizetype(sectorSize) * (layout.totalSectors() + 1));
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    writeHeader(out, layout);
    out.writeRawData(stream.constData(), int(stream.size()));
    padToSector(out);
    writeDirectory(out, name, quint32(stream.size()));
    writeAllocationTable(out, layout);
    writeAllocationTableExtension(out, layout);
    return file;
}

}

#include "ChainRows.h"

namespace {
// About what a record's parts take.
constexpr qsizetype bytesPerRow = 192;
}

ChainRows::ChainRows(int capacity)
{
    m_rows.reserve(size_t(capacity));
    m_bytes.reserve(capacity * bytesPerRow);
}

void ChainRows::append(Row row, std::initializer_list<QByteArrayView> parts)
{
    row.at = m_bytes.size();
    auto size = row.sizes.begin();
    for (const QByteArrayView bytes : parts) {
        m_bytes.append(bytes);
        *size++ = int(bytes.size());
    }
    m_rows.push_back(row);
}

void ChainRows::markLast(const QString &failure)
{
    m_last = true;
    m_failure = failure;
}

QByteArrayView ChainRows::part(const Row &row, Part part) const
{
    qsizetype at = row.at;
    for (int before = 0; before < part; ++before)
        at += row.sizes[size_t(before)];
    return QByteArrayView(m_bytes).sliced(at, row.sizes[size_t(part)]);
}

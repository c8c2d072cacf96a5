#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <initializer_list>
#include <optional>
#include <vector>

// A run of one station's records, or of the closings, as a check of the chain (see
// ChainCheck) takes them: what it needs of each row, the rows' bytes kept together so
// that a run of thousands makes a few allocations.
class ChainRows
{
public:
    enum Part { Fields, Hash, Start, Stop };

    struct Row
    {
        qint64 rowid = 0;
        std::optional<qint64> number;
        qint64 lastRecord = 0; // a closing's: the last record number before it
        qint64 minutes = 0;
        qint64 fee = 0;   // in ten-thousandths of a euro
        qsizetype at = 0; // where its parts begin in the bytes
        std::array<int, 4> sizes{};
    };

    ChainRows() = default;
    explicit ChainRows(int capacity);

    void append(Row row, std::initializer_list<QByteArrayView> parts);
    // The run is the source's last: it reached the end, or failed with `failure`.
    void markLast(const QString &failure = QString());

    qsizetype size() const { return qsizetype(m_rows.size()); }
    const Row &operator[](qsizetype index) const { return m_rows[size_t(index)]; }
    QByteArrayView part(const Row &row, Part part) const;
    bool isLast() const { return m_last; }
    const QString &failure() const { return m_failure; }

private:
    std::vector<Row> m_rows;
    QByteArray m_bytes;
    bool m_last = false;
    QString m_failure;
};

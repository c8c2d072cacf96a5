#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A fuzz input taken apart front to back. Once the bytes are used up every further
// piece is zero or empty, so any input gives a complete, if small, case.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_at >= m_size; }

    std::uint8_t byte() { return atEnd() ? 0 : m_data[m_at++]; }

    template<typename T> T raw()
    {
        T value{};
        const QByteArray piece = bytes(sizeof(T));
        std::memcpy(&value, piece.constData(), std::size_t(piece.size()));
        return value;
    }

    QByteArray bytes(std::size_t count)
    {
        const std::size_t taken = count < m_size - m_at ? count : m_size - m_at;
        const QByteArray piece(reinterpret_cast<const char *>(m_data + m_at), qsizetype(taken));
        m_at += taken;
        return piece;
    }

    // A piece whose length is given by the byte in front of it.
    QByteArray shortBytes() { return bytes(byte()); }

    QByteArray rest() { return bytes(m_size - m_at); }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Stops the run with the broken rule; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

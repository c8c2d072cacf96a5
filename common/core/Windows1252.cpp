#include "Windows1252.h"

#include <array>

namespace Windows1252 {
namespace {
// 0x80-0x9F; the rest of the page is Latin-1. Undefined bytes keep their C1 value.
constexpr std::array<char16_t, 32> highControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t toUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? highControlBlock[byte - 0x80] : char16_t(byte);
}

char fromUnicode(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return char(unit);
    for (std::size_t i = 0; i < highControlBlock.size(); ++i) {
        if (highControlBlock[i] == unit)
            return char(0x80 + i);
    }
    return '?';
}
}

QString decode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(toUnicode(static_cast<unsigned char>(byte)));
    return text;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar ch : text)
        *out++ = fromUnicode(ch.unicode());
    return bytes;
}

}

// The INI reader and writer on arbitrary file contents.
//
// Input: one byte choosing the key to write, one length byte and that many bytes of
// the value to write (Windows-1252), then the file's bytes.

#include "FuzzInput.h"

#include "IniFile.h"
#include "Windows1252.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>

namespace {
struct Entry
{
    QString section;
    QString key;
};

const std::array<Entry, 7> entries = {{
    {QStringLiteral("Gebühr"), QStringLiteral("Einheit 15min")},
    {QStringLiteral("Gebühr"), QStringLiteral("Über 30min")},
    {QStringLiteral("Gebühr"), QStringLiteral("Über 60min")},
    {QStringLiteral("DB"), QStringLiteral("DB Name")},
    {QStringLiteral("Firma"), QStringLiteral("Firmen Name")},
    {QStringLiteral("Statistik"), QStringLiteral("Statistik")},
    {QStringLiteral("Server"), QStringLiteral("IP")},
}};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void store(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

bool holdsLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

bool hasNonAscii(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.unicode() >= 0x80; });
}

bool hasNonAscii(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char byte) { return byte & 0x80; });
}

// What reading gives for a value written on a key line.
QString asRead(const QString &written)
{
    QString value = written.trimmed();
    const bool quoted = value.size() >= 2
        && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
        && value.back() == value.front();
    if (quoted)
        value = value.mid(1, value.size() - 2);
    return value.left(IniFile::maxValueLength);
}

std::array<QString, entries.size()> readAll(const QString &path)
{
    std::array<QString, entries.size()> values;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        values[i] = IniFile::read(path, entry.section, entry.key);
        FUZZ_CHECK(values[i].size() <= IniFile::maxValueLength);
        FUZZ_CHECK(!holdsLineBreak(values[i]));
        FUZZ_CHECK(IniFile::read(path, entry.section.toUpper(), entry.key.toLower()) == values[i]);
    }
    return values;
}

void checkWrite(const QString &path, const Entry &entry, const QString &value,
                const std::array<QString, entries.size()> &before)
{
    const QByteArray original = contents(path);
    const Failure error = IniFile::write(path, entry.section, entry.key, value);
    if (error) {
        // Refused are line breaks, and Windows-1252 text whose bytes would read as UTF-8.
        FUZZ_CHECK(holdsLineBreak(value) || hasNonAscii(value) || hasNonAscii(original));
        FUZZ_CHECK(!error.text().isEmpty());
        FUZZ_CHECK(contents(path) == original);
        return;
    }
    FUZZ_CHECK(!holdsLineBreak(value));
    const std::array<QString, entries.size()> after = readAll(path);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].section == entry.section && entries[i].key == entry.key)
            FUZZ_CHECK(after[i] == asRead(value));
        else
            FUZZ_CHECK(after[i] == before[i]);
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Memory-backed where there is such a place: every write syncs the file to disk.
    static QTemporaryDir directory(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/kavo-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/kavo-fuzz-XXXXXX"));
    FUZZ_CHECK(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("Kavo.ini"));

    FuzzInput input(data, size);
    const Entry &entry = entries[input.byte() % entries.size()];
    const QString value = Windows1252::decode(input.shortBytes());
    const QByteArray file = input.rest();
    store(path, file);

    const std::array<QString, entries.size()> before = readAll(path);
    FUZZ_CHECK(contents(path) == file);
    checkWrite(path, entry, value, before);
    return 0;
}

#include "IniFile.h"

#include "Windows1252.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>

namespace IniFile {
namespace {

enum class Encoding { Windows1252, Utf8 };

// What a file holds, decoded, with what is needed to write it back the same way.
struct Document
{
    QStringList lines;
    Encoding encoding = Encoding::Windows1252;
    QString lineEnd = QStringLiteral("\r\n");
    bool byteOrderMark = false;
    bool endsWithLineEnd = true;
};

bool hasNonAscii(const QByteArray &bytes)
{
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return true;
    }
    return false;
}

Document parse(QByteArray bytes)
{
    Document document;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        document.byteOrderMark = true;
        bytes.remove(0, 3);
    }
    QString text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString asUtf8 = utf8(bytes);
    if (document.byteOrderMark || (hasNonAscii(bytes) && !utf8.hasError())) {
        document.encoding = Encoding::Utf8;
        text = asUtf8;
    } else {
        text = Windows1252::decode(bytes);
    }
    if (!text.contains(QStringLiteral("\r\n"))) {
        if (text.contains(QLatin1Char('\n')))
            document.lineEnd = QStringLiteral("\n");
        else if (text.contains(QLatin1Char('\r')))
            document.lineEnd = QStringLiteral("\r");
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    document.endsWithLineEnd = text.isEmpty() || text.endsWith(QLatin1Char('\n'));
    document.lines = text.split(QLatin1Char('\n'));
    if (document.endsWithLineEnd)
        document.lines.removeLast();
    return document;
}

std::optional<QString> sectionName(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Index of the first line of `section`'s body, or -1.
qsizetype findSection(const QStringList &lines, const QString &section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = sectionName(lines[i]);
        if (name && sameName(*name, section))
            return i + 1;
    }
    return -1;
}

qsizetype sectionEnd(const QStringList &lines, qsizetype bodyStart)
{
    qsizetype i = bodyStart;
    while (i < lines.size() && !sectionName(lines[i]))
        ++i;
    return i;
}

// Index of the key's line within [bodyStart, end), or -1.
qsizetype findKey(const QStringList &lines, qsizetype bodyStart, qsizetype end, const QString &key)
{
    for (qsizetype i = bodyStart; i < end; ++i) {
        const qsizetype equals = lines[i].indexOf(QLatin1Char('='));
        if (equals > 0 && sameName(lines[i].left(equals), key))
            return i;
    }
    return -1;
}

QString unquoted(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

std::optional<QByteArray> encoded(const Document &document)
{
    QString text = document.lines.join(document.lineEnd);
    if (document.endsWithLineEnd)
        text += document.lineEnd;
    const QByteArray bytes = document.encoding == Encoding::Utf8
        ? (document.byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + text.toUtf8()
        : Windows1252::encode(text);
    // What would not read back as written is refused: characters the encoding lacks,
    // and Windows-1252 bytes that reading would take for UTF-8 (valid UTF-8, or a byte
    // order mark at the start once a lone carriage return is gone).
    if (parse(bytes).lines != document.lines)
        return std::nullopt;
    return bytes;
}

bool holdsLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

void setValue(Document &document, const QString &section, const QString &key, const QString &value)
{
    QStringList &lines = document.lines;
    const qsizetype bodyStart = findSection(lines, section);
    if (bodyStart < 0) {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(key + QLatin1Char('=') + value);
        document.endsWithLineEnd = true;
        return;
    }
    const qsizetype end = sectionEnd(lines, bodyStart);
    const qsizetype keyLine = findKey(lines, bodyStart, end, key);
    if (keyLine >= 0) {
        const QString writtenKey = lines[keyLine].left(lines[keyLine].indexOf(QLatin1Char('=')));
        lines[keyLine] = writtenKey + QLatin1Char('=') + value;
        return;
    }
    qsizetype insertAt = end;
    while (insertAt > bodyStart && lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    lines.insert(insertAt, key + QLatin1Char('=') + value);
    if (insertAt == lines.size() - 1)
        document.endsWithLineEnd = true;
}

}

Contents Contents::load(const QString &path)
{
    Contents contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    QByteArray bytes = file.read(maxReadBytes);
    if (!file.atEnd()) {
        const qsizetype lastLineEnd = std::max(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
        bytes.truncate(lastLineEnd + 1);
    }
    contents.m_lines = parse(bytes).lines;
    return contents;
}

QString Contents::value(const QString &section, const QString &key) const
{
    const qsizetype bodyStart = findSection(m_lines, section);
    if (bodyStart < 0)
        return QString();
    const qsizetype keyLine = findKey(m_lines, bodyStart, sectionEnd(m_lines, bodyStart), key);
    if (keyLine < 0)
        return QString();
    const QString &line = m_lines[keyLine];
    return unquoted(line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed()).left(maxValueLength);
}

bool Contents::contains(const QString &section, const QString &key) const
{
    const qsizetype bodyStart = findSection(m_lines, section);
    return bodyStart >= 0 && findKey(m_lines, bodyStart, sectionEnd(m_lines, bodyStart), key) >= 0;
}

QString read(const QString &path, const QString &section, const QString &key)
{
    return Contents::load(path).value(section, key);
}

Failure write(const QString &path, const QString &section, const QString &key, const QString &value)
{
    if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value))
        return Failure(QStringLiteral("Ein Wert mit Zeilenumbruch kann nicht gespeichert werden."));
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty() || key.contains(QLatin1Char('=')))
        return Failure(QStringLiteral("Ungültiger Abschnitt oder Schlüssel."));

    Document document;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return Failure(existing.errorString());
        document = parse(existing.readAll());
        existing.close();
    }
    setValue(document, section, key, value);

    const std::optional<QByteArray> bytes = encoded(document);
    if (!bytes)
        return Failure(
            QStringLiteral("Der Wert enthält Zeichen, die die Datei nicht darstellen kann."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return Failure(file.errorString());
    return Failure::none();
}

}

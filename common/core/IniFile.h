#pragma once

#include "Failure.h"

#include <QString>
#include <QStringList>

// Private-profile INI files (Kavo.ini, Client.ini): "[Section]" lines, "Key=Value"
// lines below them. Files are single-byte Windows-1252; a file saved as UTF-8 by a
// Linux editor is understood as well and keeps its encoding when written.
namespace IniFile {

// The most characters a value is read with; longer values are cut.
inline constexpr int maxValueLength = 199;

// Reading looks at no more than the first megabyte of a file; a line cut at that
// point is left out whole.
inline constexpr qint64 maxReadBytes = 1024 * 1024;

// A file's lines as read once, for looking up several keys without reading it again.
// Section and key match without regard to case (umlauts included); blanks around
// the value are dropped and one pair of enclosing ' or " quotes removed. A missing
// file, section or key reads as the empty text; reading never creates anything.
// Lines end with CR LF, LF or a lone CR.
class Contents
{
public:
    static Contents load(const QString &path);
    QString value(const QString &section, const QString &key) const;
    // Whether the key is there at all, with a value or empty.
    bool contains(const QString &section, const QString &key) const;

private:
    QStringList m_lines;
};

// One value, read as Contents::load(path).value(section, key).
QString read(const QString &path, const QString &section, const QString &key);

// Writes one key, creating the file, the section or the key where missing and
// replacing an existing value in place; every other line stays as it was. A value
// holding a line break is refused.
Failure write(const QString &path, const QString &section, const QString &key,
              const QString &value);

}

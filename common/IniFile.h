#pragma once

#include <QString>

// Private-profile INI files (Kavo.ini, Client.ini): "[Section]" lines, "Key=Value"
// lines below them. Files are single-byte Windows-1252; a file saved as UTF-8 by a
// Linux editor is understood as well and keeps its encoding when written.
namespace IniFile {

// The most characters a value is read with; longer values are cut.
inline constexpr int maxValueLength = 199;

// Section and key match without regard to case (umlauts included); blanks around
// the value are dropped and one pair of enclosing ' or " quotes removed. A missing
// file, section or key reads as the empty text; reading never creates anything.
QString read(const QString &path, const QString &section, const QString &key);

// Writes one key, creating the file, the section or the key where missing and
// replacing an existing value in place; every other line stays as it was. A value
// holding a line break is refused. Returns false with `error` filled on failure.
bool write(const QString &path, const QString &section, const QString &key, const QString &value,
           QString *error = nullptr);

}

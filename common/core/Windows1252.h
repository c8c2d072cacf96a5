#pragma once

#include <QByteArray>
#include <QString>

// The single-byte code page of the German Windows PCs that files and peers come
// from: one byte per character, both ways.
namespace Windows1252 {

QString decode(const QByteArray &bytes);

// Characters the code page lacks become '?'.
QByteArray encode(const QString &text);

}

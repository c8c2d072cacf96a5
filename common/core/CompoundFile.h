#pragma once

#include <QByteArray>
#include <QString>

// The container that classic office documents live in: a small file system of
// 512-byte sectors with a sector allocation table and a directory. Only what a
// one-stream document needs is written: the root entry and one stream under it.
namespace CompoundFile {

// Streams shorter than this are kept by readers in a separate mini stream. This
// writer makes no mini stream and pads shorter content with zero bytes instead.
inline constexpr int smallStreamLimit = 4096;

// The bytes of a container file holding `content` as the stream `name` (at most
// 31 characters; longer names are cut).
QByteArray withSingleStream(const QString &name, const QByteArray &content);

}

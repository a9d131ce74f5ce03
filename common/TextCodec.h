#pragma once

#include <QByteArray>
#include <QString>

// Text from modems and from log files that older programs wrote: each line is UTF-8 where it is
// valid UTF-8, and otherwise Windows-1252, the code page such files were written in (a superset
// of Latin-1 that also has ’ “ ” and €). One odd line never changes how the others read.
namespace TextCodec {

QString decodeLine(QByteArrayView bytes);
bool isUtf8(QByteArrayView bytes);
// Line by line, at LF; the line ends themselves are kept.
QString decodeLines(QByteArrayView bytes);

} // namespace TextCodec

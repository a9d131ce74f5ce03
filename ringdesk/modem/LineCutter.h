#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Cuts the modem's byte stream into lines: a line ends at CR, LF is dropped wherever it stands.
// Bytes after the last CR wait for the next chunk, so a stream split anywhere gives the same
// lines. A line that never gets its CR (noise at a wrong line speed) is kept to its first
// MaxLine bytes; the rest up to the CR is dropped and counted.
class LineCutter
{
public:
    static constexpr qsizetype MaxLine = 4096;

    struct Line
    {
        QString text;        // empty for an empty line (a CR with nothing before it)
        qsizetype dropped{}; // bytes cut off a line that was too long
    };

    QVector<Line> feed(const QByteArray& chunk);

    // The bytes of the unfinished line.
    const QByteArray& pending() const { return m_buffer; }

    // Text is UTF-8 where it is valid; anything else is read byte for byte as Windows-1252, so
    // no byte a modem sends is ever lost or turned into a replacement mark.
    static QString decode(const QByteArray& bytes);

private:
    QByteArray m_buffer;
    qsizetype m_dropped = 0;
};

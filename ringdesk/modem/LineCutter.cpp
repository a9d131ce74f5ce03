#include "modem/LineCutter.h"

#include "common/CleanText.h"
#include "common/TextCodec.h"

namespace {

// The bytes of a line kept to its first MaxLine may end inside a UTF-8 character; that part of
// a character is dropped with the rest, or the whole line would no longer read as UTF-8.
qsizetype partialCharacterAtEnd(const QByteArray& bytes)
{
    qsizetype lead = bytes.size();
    while (lead > 0 && bytes.size() - lead < 4 && (uchar(bytes.at(lead - 1)) & 0xC0) == 0x80)
        --lead;
    if (lead == 0)
        return 0;
    const uchar first = uchar(bytes.at(lead - 1));
    const qsizetype length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    const qsizetype have = bytes.size() - lead + 1;
    if (length == 1 || have >= length)
        return 0;
    const QByteArrayView whole = QByteArrayView(bytes).first(lead - 1);
    // Only for a line that is UTF-8 up to there; Windows-1252 bytes are characters of their own.
    return TextCodec::isUtf8(whole) ? have : 0;
}

} // namespace

QVector<LineCutter::Line> LineCutter::feed(const QByteArray& chunk)
{
    QVector<Line> lines;
    for (const char byte : chunk) {
        if (byte == '\n')
            continue;
        if (byte != '\r') {
            if (m_buffer.size() < MaxLine)
                m_buffer.append(byte);
            else
                ++m_dropped;
            continue;
        }
        if (m_dropped > 0) {
            const qsizetype partial = partialCharacterAtEnd(m_buffer);
            m_buffer.chop(partial);
            m_dropped += partial;
        }
        lines.append(Line{CleanText::field(decode(m_buffer)), m_dropped});
        m_buffer.clear();
        m_dropped = 0;
    }
    return lines;
}

QString LineCutter::decode(const QByteArray& bytes)
{
    return TextCodec::decodeLine(bytes);
}

#include "LineCutter.h"

#include "TextCodec.h"

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
        lines.append(Line{decode(m_buffer), m_dropped});
        m_buffer.clear();
        m_dropped = 0;
    }
    return lines;
}

QString LineCutter::decode(const QByteArray& bytes)
{
    return TextCodec::decodeLine(bytes);
}

#include "voice/VoiceStream.h"

namespace VoiceStream {

QList<Reader::Piece> Reader::read(const QByteArray& bytes)
{
    QList<Piece> pieces;
    auto samples = [&pieces]() -> QByteArray& {
        if (pieces.isEmpty() || pieces.last().event != 0)
            pieces.append(Piece());
        return pieces.last().samples;
    };
    qsizetype plain = 0; // where the run of plain samples not yet taken starts
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        const char byte = bytes.at(at);
        if (m_afterDle) {
            m_afterDle = false;
            plain = at + 1;
            if (byte == dle)
                samples() += dle;
            else if (byte == sub)
                samples() += QByteArray(2, dle);
            else
                pieces.append(Piece{QByteArray(), byte});
            continue;
        }
        if (byte != dle)
            continue;
        if (at > plain)
            samples() += bytes.mid(plain, at - plain);
        m_afterDle = true;
        plain = at + 1;
    }
    if (!m_afterDle && bytes.size() > plain)
        samples() += bytes.mid(plain);
    return pieces;
}

QByteArray shield(const QByteArray& audio)
{
    const qsizetype count = audio.count(dle);
    if (count == 0)
        return audio;
    QByteArray out;
    out.reserve(audio.size() + count);
    for (const char byte : audio) {
        out += byte;
        if (byte == dle)
            out += dle;
    }
    return out;
}

QByteArray endOfAudio(bool tripled)
{
    return QByteArray(tripled ? 3 : 1, dle) + etx;
}

QByteArray cancelAudio()
{
    return QByteArray(1, dle) + can;
}

QByteArray endOfRecording(bool tripled)
{
    return QByteArray(tripled ? 3 : 1, dle) + '!';
}

} // namespace VoiceStream

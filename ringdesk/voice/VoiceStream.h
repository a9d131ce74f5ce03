#pragma once

#include <QByteArray>
#include <QList>

// The bytes of a V.253 voice stream, both ways. In either direction a 0x10 byte (DLE) starts a
// pair: from the modem, <DLE><DLE> is one 0x10 sample, <DLE><SUB> two of them, and <DLE> with
// any other byte an event (a DTMF digit, silence, busy, the end of the stream...); to the modem,
// each 0x10 sample is sent twice and <DLE><ETX> ends the audio. A pair may be split across two
// reads, so the modem's side is read by a state machine that keeps a lone DLE for the next read.
namespace VoiceStream {

constexpr char dle = 0x10;
constexpr char etx = 0x03;
constexpr char sub = 0x1a;
constexpr char can = 0x18;

// The modem's side, read as it comes.
class Reader
{
public:
    struct Piece
    {
        QByteArray samples; // audio, unshielded; empty for an event
        char event = 0;     // the byte after a DLE that is an event; 0 for audio
    };
    // The audio and the events of `bytes`, in their order; a DLE at the end waits for the next.
    QList<Piece> read(const QByteArray& bytes);
    void reset() { m_afterDle = false; }

private:
    bool m_afterDle = false;
};

// The host's side: audio with each 0x10 doubled.
QByteArray shield(const QByteArray& audio);
// What ends the audio sent to the modem, what stops it at once (dropping what the modem holds),
// and what ends the audio the modem sends. Some modems take only tripled DLEs for the ends.
QByteArray endOfAudio(bool tripled = false);
QByteArray cancelAudio();
QByteArray endOfRecording(bool tripled = false);

} // namespace VoiceStream

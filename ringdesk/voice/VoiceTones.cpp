#include "voice/VoiceTones.h"

#include <spandsp.h>

namespace VoiceTones {

namespace {

// Loud enough to be heard over a line and read by a dialer, well below clipping.
constexpr int levelDbm0 = -13;

// One tone of `hz` for `milliseconds`, as spandsp makes it (whole hertz: within 0.05 % of the
// tones asked for here).
QList<qint16> tone(double hz, int milliseconds)
{
    tone_gen_descriptor_t* description =
        tone_gen_descriptor_init(nullptr, int(hz + 0.5), levelDbm0, 0, 0, milliseconds, 0, 0, 0, 0);
    tone_gen_state_t* state = tone_gen_init(nullptr, description);
    QList<qint16> samples(milliseconds * 8);
    const int made = state ? tone_gen(state, samples.data(), int(samples.size())) : 0;
    samples.resize(made);
    tone_gen_free(state);
    tone_gen_descriptor_free(description);
    return samples;
}

} // namespace

QByteArray encode(const QList<qint16>& samples, VoiceModem::Encoding encoding)
{
    QByteArray out;
    out.reserve(samples.size() * (encoding == VoiceModem::Encoding::Linear16 ? 2 : 1));
    for (const qint16 sample : samples) {
        switch (encoding) {
        case VoiceModem::Encoding::MuLaw:
            out += char(linear_to_ulaw(sample));
            break;
        case VoiceModem::Encoding::ALaw:
            out += char(linear_to_alaw(sample));
            break;
        case VoiceModem::Encoding::Linear16:
            out += char(sample & 0xff);
            out += char((sample >> 8) & 0xff);
            break;
        case VoiceModem::Encoding::Linear8:
        case VoiceModem::Encoding::Other:
            out += char((sample >> 8) + 128);
            break;
        }
    }
    return out;
}

QList<qint16> decode(const QByteArray& audio, VoiceModem::Encoding encoding)
{
    QList<qint16> out;
    const bool wide = encoding == VoiceModem::Encoding::Linear16;
    out.reserve(wide ? audio.size() / 2 : audio.size());
    for (qsizetype at = 0; at < audio.size(); ++at) {
        const quint8 byte = quint8(audio.at(at));
        switch (encoding) {
        case VoiceModem::Encoding::MuLaw:
            out += qint16(ulaw_to_linear(byte));
            break;
        case VoiceModem::Encoding::ALaw:
            out += qint16(alaw_to_linear(byte));
            break;
        case VoiceModem::Encoding::Linear16:
            if (at + 1 < audio.size())
                out += qint16(byte | (quint8(audio.at(++at)) << 8));
            break;
        case VoiceModem::Encoding::Linear8:
        case VoiceModem::Encoding::Other:
            out += qint16((int(byte) - 128) * 256);
            break;
        }
    }
    return out;
}

QByteArray vacantCode(VoiceModem::Encoding encoding)
{
    // The three tones follow each other without a gap.
    return encode(tone(985.2, 380) + tone(1370.6, 274) + tone(1776.7, 380), encoding);
}

QByteArray faxAnswer(VoiceModem::Encoding encoding, int milliseconds)
{
    return encode(tone(2100, milliseconds), encoding);
}

QByteArray beep(VoiceModem::Encoding encoding)
{
    return encode(tone(1000, 400), encoding);
}

} // namespace VoiceTones

// The voice stream both ways against a plain model of it: random audio and events are written as
// the modem writes them, cut at random places, and read back; random audio shielded by the host
// reads back whole. Nothing may be lost, added or taken for an event.
#include "voice/VoiceEvents.h"
#include "voice/VoiceStream.h"

#include <cstdint>

namespace {

const char events[] = "0123456789*#ABCD/~sqbdcaefhHlRuo\x03";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    quint32 cuts = data[0] | (data[1] << 8); // where the reads end, drawn from the input
    // The model: samples, with many 0x10s, and events between them.
    QByteArray wire;
    QByteArray audio;
    QByteArray expected; // audio, with '|' + event for each event, as the reader must give it
    for (size_t i = 2; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte >= 0xf0) {
            const char event = events[byte % (sizeof events - 1)];
            wire += VoiceStream::dle;
            wire += event;
            expected += QByteArray(1, '\0') + event;
            continue;
        }
        const char sample = byte % 5 == 0 ? VoiceStream::dle : char(byte);
        audio += sample;
        if (sample == VoiceStream::dle && byte % 2 == 0 && i + 1 < size && data[i + 1] % 5 == 0) {
            wire += QByteArray(1, VoiceStream::dle) + VoiceStream::sub; // two 0x10 samples
            expected += QByteArray(2, VoiceStream::dle);
            audio += VoiceStream::dle;
            ++i;
            continue;
        }
        wire +=
            sample == VoiceStream::dle ? QByteArray(2, VoiceStream::dle) : QByteArray(1, sample);
        expected += sample;
    }
    VoiceStream::Reader reader;
    QByteArray got;
    VoiceEvents::Reader typed;
    for (qsizetype at = 0; at < wire.size();) {
        cuts = cuts * 1103515245u + 12345u;
        const qsizetype length = std::min<qsizetype>(1 + (cuts >> 16) % 9, wire.size() - at);
        for (const auto& piece : reader.read(wire.mid(at, length))) {
            if (piece.event != 0) {
                got += QByteArray(1, '\0') + piece.event;
                (void)typed.take(piece.event, at);
            } else {
                got += piece.samples;
            }
        }
        at += length;
    }
    if (got != expected)
        __builtin_trap();
    VoiceStream::Reader back;
    QByteArray roundTrip;
    for (const auto& piece : back.read(VoiceStream::shield(audio))) {
        if (piece.event != 0)
            __builtin_trap(); // shielded audio holds no event
        roundTrip += piece.samples;
    }
    if (roundTrip != audio)
        __builtin_trap();
    return 0;
}

#include "voice/VoiceEvents.h"

#include <QByteArrayView>

namespace VoiceEvents {

namespace {

// A held key repeats well within this; two presses of one key are further apart.
constexpr qint64 samePressMs = 150;

std::optional<Kind> kindOf(char code)
{
    switch (code) {
    case 's':
        return Kind::Silence;
    case 'q':
        return Kind::SilenceAfterVoice;
    case 'b':
        return Kind::Busy;
    case 'd':
        return Kind::DialTone;
    case 'c':
        return Kind::FaxCalling;
    case 'e':
        return Kind::DataCalling;
    case 'a':
    case 'f':
        return Kind::AnswerTone;
    case 'h':
        return Kind::LocalOnHook;
    case 'H':
        return Kind::LocalOffHook;
    case 'l':
        return Kind::LoopBreak;
    case 'R':
        return Kind::Ring;
    case 'u':
        return Kind::Underrun;
    case 'o':
        return Kind::Overrun;
    case 0x03:
        return Kind::EndOfStream;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<Event> Reader::take(char code, qint64 msecs)
{
    if (code == '/') {
        m_inPress = true;
        m_reported = false;
        return std::nullopt;
    }
    if (code == '~' || code == 0x7f) {
        m_inPress = false;
        return std::nullopt;
    }
    if (QByteArrayView("0123456789*#ABCD").contains(code)) {
        const bool repeat =
            m_inPress ? m_reported : code == m_lastDigit && msecs - m_lastDigitAt < samePressMs;
        m_lastDigit = code;
        m_lastDigitAt = msecs;
        m_reported = true;
        if (repeat)
            return std::nullopt;
        return Event{Kind::Digit, code};
    }
    if (const std::optional<Kind> kind = kindOf(code))
        return Event{*kind};
    return std::nullopt;
}

} // namespace VoiceEvents

#pragma once

#include <QtGlobal>
#include <optional>

// The events of a modem's voice stream (the byte after a DLE), typed. A DTMF digit is one press
// however long the key is held: the modem repeats it about every 70 ms, and some bracket a press
// between '/' and '~'.
namespace VoiceEvents {

enum class Kind
{
    Digit,
    Silence,           // from the start: nobody there
    SilenceAfterVoice, // the end of a message
    Busy,
    DialTone,
    FaxCalling,
    DataCalling,
    AnswerTone,
    LocalOnHook,
    LocalOffHook,
    LoopBreak, // the caller hung up
    Ring,
    Underrun, // the modem ran out of audio to play
    Overrun,  // the modem lost audio it recorded
    EndOfStream
};

struct Event
{
    Kind kind;
    char digit = 0; // for a Digit
};

class Reader
{
public:
    // The event `code` stands for at `msecs` (a steady clock); nothing for a repeat of a digit
    // already reported, for a bracket and for a code no modem document gives.
    std::optional<Event> take(char code, qint64 msecs);

private:
    bool m_inPress = false;  // between '/' and '~'
    bool m_reported = false; // this bracketed press's digit is out
    char m_lastDigit = 0;
    qint64 m_lastDigitAt = 0;
};

} // namespace VoiceEvents

#pragma once

#include "voice/VoiceEvents.h"
#include "voice/VoiceProbe.h"
#include "voice/VoiceStream.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class ModemControl;

// Plays audio to the caller (or records the caller) on a voice modem, on the one command queue:
// voice mode, the format,
// the line taken (which answers the call), AT+VTX, the audio paced at its rate a little ahead of
// the modem (its buffer holds about 1 KB; sent all at once, most would be lost), <DLE><ETX> and
// the modem's OK. However it ends (an error, a time-out, the caller gone) the modem goes
// on-hook, back to data mode and has caller ID switched on again, with ATZ first where it does
// not answer, so that the next call's caller ID is never lost.
class VoicePlayer : public QObject
{
    Q_OBJECT
public:
    explicit VoicePlayer(ModemControl& modem, QObject* parent = nullptr);

    // `audio` in the voice's format at 8000 samples a second; `callerIdCommand` switches caller
    // ID on again afterwards.
    void play(const VoiceProbe::Voice& voice, const QByteArray& audio,
              const QString& callerIdCommand);
    // Plays `audio` as play() does but keeps the line once it ends: held() comes, and the owner
    // plays more, records or lets the call go (release()) at once, since a held line reports
    // nothing.
    void playAndHold(const VoiceProbe::Voice& voice, const QByteArray& audio,
                     const QString& callerIdCommand);
    void playMore(const QByteArray& audio, bool hold);
    void playMoreThenRecord(const QByteArray& audio, int mostMs);
    void release();
    // Records what the caller says, after the same set-up with AT+VRX, until stopRecording(), the
    // caller hanging up or `mostMs` have passed; recorded() holds it, unshielded.
    void record(const VoiceProbe::Voice& voice, int mostMs, const QString& callerIdCommand);
    void stopRecording();
    // Plays `audio` (a greeting), then records as record() does, in one call.
    void playThenRecord(const VoiceProbe::Voice& voice, const QByteArray& audio, int mostMs,
                        const QString& callerIdCommand);
    // The audio playing now ends here (a key pressed during the greeting): what follows it comes
    // at once, the recording or held().
    void cutAudio();
    // Someone picked up an extension: the modem leaves the line to them at once (AT+VLS=0).
    void stepAside();
    // Where recorded audio goes as it comes, instead of recorded().
    void setRecordingSink(std::function<void(const QByteArray& audio)> sink)
    {
        m_sink = std::move(sink);
    }
    // The modem left the line to a person on an extension.
    bool steppedAside() const { return m_stepAside; }
    bool recording() const { return m_recording && m_step != Step::Idle; }
    const QByteArray& recorded() const { return m_recorded; }
    bool playing() const { return m_step != Step::Idle; }
    int underruns() const { return m_underruns; }
    // The modem took the audio (its CONNECT came), whether or not it played to the end.
    bool streamed() const { return m_streamed; }

signals:
    // What the modem heard on the line while it played: a digit, the caller hanging up...
    void heard(VoiceEvents::Event event);
    void eventLine(const QString& line);
    // Played to the end (true), or not; either way the modem is back in data mode.
    void finished(bool played);
    // The audio of playAndHold() or playMore() ended, the line still taken; `cut` when the line
    // ended it (the caller gone, an extension picked up) rather than its end or cutAudio().
    void held(bool cut);

private:
    enum class Step
    {
        Idle,
        Setting,   // voice mode, format, line
        Streaming, // audio going out
        Ending,    // <DLE><ETX> sent, waiting for OK
        Holding,   // the line taken, waiting for the owner's next step
        Restoring  // on-hook, data mode, caller ID
    };
    void begin(const VoiceProbe::Voice& voice, const QString& callerIdCommand, bool recording);
    void more(const QByteArray& audio);
    void next(const QStringList& commands, int at);
    void startStream();
    void feed();
    void streamBytes(const QByteArray& bytes);
    // The caller is gone: what the modem holds is dropped and the audio ended.
    void stopEarly(const QString& why);
    // What the modem holds is dropped and the audio ended; `cut`: it did not play to its end.
    void dropAudio(bool cut);
    void endStream(const QByteArray& rest);
    void restore(bool played, bool reset = false);
    void restoreNext(int at);
    void done();

    ModemControl& m_modem;
    VoiceProbe::Voice m_voice;
    QByteArray m_audio;
    QString m_callerIdCommand;
    Step m_step = Step::Idle;
    bool m_played = false;
    bool m_streamed = false;
    bool m_cut = false; // stopped before its end
    bool m_recording = false;
    bool m_thenRecord = false;
    bool m_hold = false;
    bool m_stepAside = false;
    std::function<void(const QByteArray&)> m_sink;
    bool m_streamEnded = false; // the modem's <DLE><ETX> came
    int m_mostRecordMs = 0;
    QByteArray m_recorded;
    qsizetype m_sent = 0; // samples of m_audio written
    int m_underruns = 0;
    QElapsedTimer m_clock;
    QTimer m_pace;
    QTimer m_endWait;
    VoiceStream::Reader m_reader;
    VoiceEvents::Reader m_events;
    QByteArray m_text;       // what the modem said after the end: its OK
    QStringList m_restoring; // the commands that put the modem back
    bool m_reset = false;
};

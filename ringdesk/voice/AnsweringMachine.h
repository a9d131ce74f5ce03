#pragma once

#include "voice/VoicePlayer.h"
#include "voice/VoicePrompt.h"

#include <QObject>
#include <QString>

class ModemControl;
class VoiceProbe;
struct sf_private_tag; // libsndfile's SNDFILE

// Answers a call nobody has picked up: the greeting, a short tone, then the caller's message,
// written to a WAV file as it comes (8000 Hz mono, its header kept up to date so that a file cut
// short by a full disk or a killed program is still whole) until the caller stops: silence after
// speech, found on the audio itself since many modems never report it; the modem's silence, busy
// or dial tone; the caller hanging up; or the longest a message may be. A key pressed during the
// greeting cuts it short; an extension picked up leaves the call to the household. A message
// with under a second of speech is deleted.
//
// The human check answers a caller nobody knows at once: "Press 5 to reach us", then 8 s for the
// key. The right key: thanks, the tone, and a message as above; a wrong key is asked again once;
// no key, the wrong one twice or the caller gone fails the check, and the call is let go.
class AnsweringMachine : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int silenceSeconds = 5;
        int maxSeconds = 120;
        QString folder; // where messages go
        QChar checkKey = u'5';
    };

    AnsweringMachine(ModemControl& modem, const VoiceProbe& probe, QObject* parent = nullptr);

    void setOptions(const Options& options) { m_options = options; }
    // The greeting: `file`, or spoken in `language` and kept in `dataFolder`.
    void setGreeting(const QString& file, const QString& dataFolder, const QString& language);
    // Answers the call ringing now, for `callId` from `caller` (as shown) whose number has
    // `digits`; false when it cannot (no voice modem, busy with another call).
    bool answer(const QString& callId, const QString& caller, const QString& digits);
    // The human check's question: `file`, or spoken with the options' key; its thanks are
    // always spoken.
    void setCheckGreeting(const QString& file, const QString& dataFolder, const QString& language);
    // Why no caller can be checked now ("no voice mode is known"), or nothing when one can.
    QString whyNoCheck() const;
    // Checks the caller of the call ringing now; checked() tells how it went.
    void check(const QString& callId, const QString& caller, const QString& digits);
    bool busy() const { return m_player.playing(); }
    // Who the call being answered (or last answered) is from, as shown.
    const QString& caller() const { return m_caller; }

signals:
    void eventLine(const QString& line);
    // A message's recording began (its file is whole from here on), was kept (how long it is),
    // or was dropped (its file is gone).
    void messageStarted(const QString& callId, const QString& file);
    void messageLeft(const QString& callId, const QString& file, int seconds);
    void messageDropped(const QString& file);
    // The caller pressed the key (and may now leave a message), or did not.
    void checked(const QString& callId, bool passed);
    void finished();

private:
    bool openMessage(const QString& digits);
    QByteArray checkQuestion(VoiceModem::Encoding encoding) const;
    void heldLine(bool cut);
    void take(const QByteArray& audio);
    void close();

    ModemControl& m_modem;
    const VoiceProbe& m_probe;
    VoicePlayer m_player;
    VoicePrompt m_greeting;
    VoicePrompt m_checkGreeting;
    VoicePrompt m_checkThanks;
    bool m_checking = false;
    QChar m_pressed; // the key pressed since the question was last asked
    int m_wrongKeys = 0;
    bool m_toldNoVoice = false;
    QString m_digits;
    Options m_options;
    QString m_callId;
    QString m_caller;
    QString m_path;
    sf_private_tag* m_file = nullptr;
    qint64 m_samples = 0;
    qint64 m_speechMs = 0;
    qint64 m_quietMs = 0;  // since the last speech, or since the start
    QList<qint16> m_block; // the 100 ms being measured
    QByteArray m_odd;      // a 16-bit sample split across two reads
};

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
class AnsweringMachine : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int silenceSeconds = 5;
        int maxSeconds = 120;
        QString folder; // where messages go
    };

    AnsweringMachine(ModemControl& modem, const VoiceProbe& probe, QObject* parent = nullptr);

    void setOptions(const Options& options) { m_options = options; }
    // The greeting: `file`, or spoken in `language` and kept in `dataFolder`.
    void setGreeting(const QString& file, const QString& dataFolder, const QString& language);
    // Answers the call ringing now, for `callId` from `caller` (as shown) whose number has
    // `digits`; false when it cannot (no voice modem, busy with another call).
    bool answer(const QString& callId, const QString& caller, const QString& digits);
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
    void finished();

private:
    void take(const QByteArray& audio);
    void close();

    ModemControl& m_modem;
    const VoiceProbe& m_probe;
    VoicePlayer m_player;
    VoicePrompt m_greeting;
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

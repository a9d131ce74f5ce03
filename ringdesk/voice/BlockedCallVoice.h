#pragma once

#include "voice/VoicePlayer.h"
#include "voice/VoicePrompt.h"

#include <QList>
#include <QObject>

class ModemControl;
class VoiceProbe;

// Answers a blocked call on the voice modem: the special information tone "vacant code" and the
// announcement, or the fax answer tone, then on-hook. The announcement is the user's sound file
// or, without one, spoken once by espeak-ng and kept in the data folder.
class BlockedCallVoice : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        Announce,
        Fax
    };

    BlockedCallVoice(ModemControl& modem, const VoiceProbe& probe, QObject* parent = nullptr);

    // What follows the tone: `file` (any sound file), or when it is empty the spoken default in
    // `language`, made in `folder` unless it is there already.
    void setAnnouncement(const QString& file, const QString& folder, const QString& language);
    // Answers the call ringing now: what is done ("announced", "fax tone"), or nothing when it
    // cannot (no voice modem, audio playing already), and the call should be hung up on.
    QString answer(Kind kind);
    bool playing() const { return m_player.playing(); }
    // The announcement's samples at 8000 Hz; empty until it is read or spoken.
    const QList<qint16>& announcement() const { return m_announcement.samples(); }

signals:
    void eventLine(const QString& line);
    // The call was not answered (the modem refused its voice commands): it still rings.
    void failed();
    // The call's audio is over and the modem is back in data mode.
    void finished();
    // The announcement was read or spoken.
    void announcementReady();

private:
    ModemControl& m_modem;
    const VoiceProbe& m_probe;
    VoicePlayer m_player;
    VoicePrompt m_announcement;
    bool m_toldNoVoice = false;
};

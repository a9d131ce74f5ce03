#include "voice/BlockedCallVoice.h"

#include "modem/ModemControl.h"
#include "voice/Announcement.h"
#include "voice/VoiceProbe.h"
#include "voice/VoiceTones.h"

BlockedCallVoice::BlockedCallVoice(ModemControl& modem, const VoiceProbe& probe, QObject* parent)
    : QObject(parent), m_modem(modem), m_probe(probe), m_player(modem),
      m_announcement({QStringLiteral("Voice/Announcement"), QStringLiteral("announcement"),
                      QStringLiteral("the tone alone"), &Announcement::defaultText})
{
    connect(&m_announcement, &VoicePrompt::eventLine, this, &BlockedCallVoice::eventLine);
    connect(&m_announcement, &VoicePrompt::ready, this, &BlockedCallVoice::announcementReady);
    connect(&m_player, &VoicePlayer::eventLine, this, &BlockedCallVoice::eventLine);
    connect(&m_player, &VoicePlayer::finished, this, [this] {
        if (!m_player.streamed())
            emit failed();
        emit finished();
    });
}

void BlockedCallVoice::setAnnouncement(const QString& file, const QString& folder,
                                       const QString& language)
{
    m_announcement.prepare(file, folder, language);
}

QString BlockedCallVoice::answer(Kind kind)
{
    const std::optional<VoiceProbe::Voice>& voice = m_probe.voice();
    if (!voice) {
        if (!std::exchange(m_toldNoVoice, true))
            emit eventLine(QStringLiteral("[No voice mode known on the modem on %1: blocked calls "
                                          "are hung up instead]")
                               .arg(m_modem.device()));
        return QString();
    }
    if (m_player.playing())
        return QString();
    const VoiceModem::Encoding encoding = voice->format.encoding;
    const QByteArray audio = kind == Kind::Fax
                                 ? VoiceTones::faxAnswer(encoding)
                                 : VoiceTones::vacantCode(encoding) +
                                       VoiceTones::encode(m_announcement.samples(), encoding);
    m_player.play(*voice, audio, m_modem.settings().callerIdCommand);
    return kind == Kind::Fax ? QStringLiteral("fax tone") : QStringLiteral("announced");
}

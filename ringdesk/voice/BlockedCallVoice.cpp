#include "voice/BlockedCallVoice.h"

#include "modem/ModemControl.h"
#include "voice/Announcement.h"
#include "voice/VoiceProbe.h"
#include "voice/VoiceTones.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

BlockedCallVoice::BlockedCallVoice(ModemControl& modem, const VoiceProbe& probe, QObject* parent)
    : QObject(parent), m_modem(modem), m_probe(probe), m_player(modem)
{
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
    m_announcement.clear();
    if (m_speaker) {
        m_speaker->disconnect(this); // an announcement no longer wanted says nothing more
        m_speaker.reset();
    }
    if (!file.trimmed().isEmpty())
        return readAnnouncement(file.trimmed(), QStringLiteral("Voice/Announcement"));
    // A language without words of its own is spoken in English, and kept as English.
    const QString english = QStringLiteral("en");
    const QString spoken = Announcement::defaultText(language) == Announcement::defaultText(english)
                               ? english
                               : language;
    const QString kept =
        folder + QStringLiteral("/announcement-") + spoken + QStringLiteral(".wav");
    if (QFile::exists(kept))
        return readAnnouncement(kept, QStringLiteral("The spoken announcement"));
    speak(kept, spoken);
}

void BlockedCallVoice::readAnnouncement(const QString& path, const QString& what)
{
    QString error;
    m_announcement = Announcement::read(path, &error);
    if (m_announcement.isEmpty())
        emit eventLine(QStringLiteral("[%1 \"%2\" cannot be played (%3); blocked callers hear the "
                                      "tone alone]")
                           .arg(what, path, error));
    else
        emit announcementReady();
}

void BlockedCallVoice::speak(const QString& kept, const QString& language)
{
    // Written beside the kept file and renamed once whole: a run stopped halfway keeps nothing.
    const QString part = kept + QStringLiteral(".part");
    QDir().mkpath(QFileInfo(kept).absolutePath());
    m_speaker = std::make_unique<QProcess>();
    QProcess* speaker = m_speaker.get();
    connect(speaker, &QProcess::errorOccurred, this, [this, speaker](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || m_speaker.get() != speaker)
            return;
        emit eventLine(QStringLiteral("[espeak-ng cannot be started (%1): blocked callers hear "
                                      "the tone alone; install espeak-ng or set "
                                      "Voice/Announcement]")
                           .arg(speaker->errorString()));
        m_speaker.release()->deleteLater();
    });
    connect(speaker, &QProcess::finished, this,
            [this, speaker, kept, part, language](int code, QProcess::ExitStatus status) {
                if (m_speaker.get() != speaker)
                    return;
                m_speaker.release()->deleteLater();
                if (status == QProcess::NormalExit && code == 0 && QFileInfo(part).size() > 44) {
                    QFile::remove(kept);
                    QFile::rename(part, kept);
                    return readAnnouncement(kept, QStringLiteral("The spoken announcement"));
                }
                QFile::remove(part);
                // A language espeak-ng has no voice for is spoken in English.
                if (language != u"en")
                    return speak(QFileInfo(kept).absolutePath() +
                                     QStringLiteral("/announcement-en.wav"),
                                 QStringLiteral("en"));
                emit eventLine(QStringLiteral("[espeak-ng could not speak the announcement: "
                                              "blocked callers hear the tone alone]"));
            });
    speaker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    speaker->start(QStringLiteral("espeak-ng"),
                   {QStringLiteral("-v"), language, QStringLiteral("-w"), part,
                    Announcement::defaultText(language)});
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
    const QByteArray audio = kind == Kind::Fax ? VoiceTones::faxAnswer(encoding)
                                               : VoiceTones::vacantCode(encoding) +
                                                     VoiceTones::encode(m_announcement, encoding);
    m_player.play(*voice, audio, m_modem.settings().callerIdCommand);
    return kind == Kind::Fax ? QStringLiteral("fax tone") : QStringLiteral("announced");
}

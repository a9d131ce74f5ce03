#include "voice/VoicePrompt.h"

#include "voice/Announcement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

VoicePrompt::VoicePrompt(Kind kind, QObject* parent) : QObject(parent), m_kind(std::move(kind)) {}

void VoicePrompt::prepare(const QString& file, const QString& folder, const QString& language)
{
    m_samples.clear();
    if (m_speaker) {
        m_speaker->disconnect(this); // a prompt no longer wanted says nothing more
        m_speaker.reset();
    }
    if (!file.trimmed().isEmpty())
        return read(file.trimmed(), m_kind.setting);
    // A language without words of its own is spoken in English, and kept as English.
    const QString english = QStringLiteral("en");
    const QString spoken = m_kind.text(language) == m_kind.text(english) ? english : language;
    const QString kept = folder + u'/' + m_kind.keptName + u'-' + spoken + QStringLiteral(".wav");
    if (QFile::exists(kept))
        return read(kept, QStringLiteral("The spoken ") + m_kind.keptName);
    speak(kept, spoken);
}

void VoicePrompt::read(const QString& path, const QString& what)
{
    QString error;
    m_samples = Announcement::read(path, &error);
    if (m_samples.isEmpty())
        emit eventLine(QStringLiteral("[%1 \"%2\" cannot be played (%3); callers hear %4]")
                           .arg(what, path, error, m_kind.without));
    else
        emit ready();
}

void VoicePrompt::speak(const QString& kept, const QString& language)
{
    // Written beside the kept file and renamed once whole: a run stopped halfway keeps nothing.
    const QString part = kept + QStringLiteral(".part");
    QDir().mkpath(QFileInfo(kept).absolutePath());
    m_speaker = std::make_unique<QProcess>();
    QProcess* speaker = m_speaker.get();
    connect(speaker, &QProcess::errorOccurred, this, [this, speaker](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || m_speaker.get() != speaker)
            return;
        emit eventLine(QStringLiteral("[espeak-ng cannot be started (%1): callers hear %2; "
                                      "install espeak-ng or set %3]")
                           .arg(speaker->errorString(), m_kind.without, m_kind.setting));
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
                    return read(kept, QStringLiteral("The spoken ") + m_kind.keptName);
                }
                QFile::remove(part);
                // A language espeak-ng has no voice for is spoken in English.
                if (language != u"en")
                    return speak(QFileInfo(kept).absolutePath() + u'/' + m_kind.keptName +
                                     QStringLiteral("-en.wav"),
                                 QStringLiteral("en"));
                emit eventLine(QStringLiteral("[espeak-ng could not speak the %1: callers hear %2]")
                                   .arg(m_kind.keptName, m_kind.without));
            });
    speaker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    speaker->start(
        QStringLiteral("espeak-ng"),
        {QStringLiteral("-v"), language, QStringLiteral("-w"), part, m_kind.text(language)});
}

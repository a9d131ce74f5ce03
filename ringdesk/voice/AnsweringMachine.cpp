#include "voice/AnsweringMachine.h"

#include "common/Clock.h"
#include "modem/ModemControl.h"
#include "voice/Announcement.h"
#include "voice/VoiceProbe.h"
#include "voice/VoiceTones.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <sndfile.h>

namespace {

constexpr int blockSamples = 800; // 100 ms
// Speech is louder than a line's hiss: about -30 dB below full scale.
constexpr double speechLevel = 1000;

} // namespace

AnsweringMachine::AnsweringMachine(ModemControl& modem, const VoiceProbe& probe, QObject* parent)
    : QObject(parent), m_modem(modem), m_probe(probe), m_player(modem),
      m_greeting({QStringLiteral("Voice/Greeting"), QStringLiteral("greeting"),
                  QStringLiteral("the tone alone"), &Announcement::greetingText})
{
    connect(&m_greeting, &VoicePrompt::eventLine, this, &AnsweringMachine::eventLine);
    connect(&m_player, &VoicePlayer::eventLine, this, &AnsweringMachine::eventLine);
    m_player.setRecordingSink([this](const QByteArray& audio) { take(audio); });
    connect(&m_player, &VoicePlayer::heard, this, [this](VoiceEvents::Event event) {
        // A key during the greeting: the caller knows what to do.
        if (event.kind == VoiceEvents::Kind::Digit && !m_player.recording())
            m_player.skipToRecording();
    });
    connect(&m_player, &VoicePlayer::finished, this, [this] {
        close();
        emit finished();
    });
}

void AnsweringMachine::setGreeting(const QString& file, const QString& dataFolder,
                                   const QString& language)
{
    m_greeting.prepare(file, dataFolder, language);
}

bool AnsweringMachine::answer(const QString& callId, const QString& caller, const QString& digits)
{
    const std::optional<VoiceProbe::Voice>& voice = m_probe.voice();
    if (!voice || m_player.playing())
        return false;
    QDir().mkpath(m_options.folder);
    const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    m_path = m_options.folder + u'/' + stamp + (digits.isEmpty() ? QString() : u'-' + digits) +
             QStringLiteral(".wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    m_file = sf_open(QFile::encodeName(m_path).constData(), SFM_WRITE, &info);
    if (!m_file) {
        emit eventLine(QStringLiteral("[No message can be kept: %1 (%2)]")
                           .arg(m_path, QString::fromLocal8Bit(sf_strerror(nullptr))));
        return false;
    }
    // Each write brings the header up to date: the file is whole however the recording ends.
    sf_command(m_file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    m_callId = callId;
    m_caller = caller.isEmpty() ? QStringLiteral("an unknown caller") : caller;
    m_samples = m_speechMs = m_quietMs = 0;
    m_block.clear();
    m_odd.clear();
    const VoiceModem::Encoding encoding = voice->format.encoding;
    const QByteArray greeting =
        VoiceTones::encode(m_greeting.samples(), encoding) + VoiceTones::beep(encoding);
    m_player.playThenRecord(*voice, greeting, m_options.maxSeconds * 1000,
                            m_modem.settings().callerIdCommand);
    emit messageStarted(m_callId, m_path);
    emit eventLine(QStringLiteral("[Answering the call from %1]").arg(m_caller));
    return true;
}

void AnsweringMachine::take(const QByteArray& audio)
{
    if (!m_file)
        return;
    const VoiceModem::Encoding encoding = m_probe.voice()->format.encoding;
    QByteArray bytes = m_odd + audio;
    m_odd.clear();
    if (encoding == VoiceModem::Encoding::Linear16 && bytes.size() % 2) {
        m_odd = bytes.right(1);
        bytes.chop(1);
    }
    const QList<qint16> samples = VoiceTones::decode(bytes, encoding);
    const sf_count_t written =
        sf_write_short(m_file, samples.constData(), sf_count_t(samples.size()));
    m_samples += written;
    if (written < samples.size()) {
        // A full disk: what was written stays a whole file; the caller is let go.
        emit eventLine(QStringLiteral("[The message from %1 was cut short: %2 cannot take more "
                                      "(%3)]")
                           .arg(m_caller, m_path, QString::fromLocal8Bit(sf_strerror(m_file))));
        m_player.stopRecording();
        close();
        return;
    }
    for (const qint16 sample : samples) {
        m_block.append(sample);
        if (m_block.size() < blockSamples)
            continue;
        double sum = 0;
        for (const qint16 value : std::as_const(m_block))
            sum += double(value) * value;
        m_block.clear();
        if (std::sqrt(sum / blockSamples) > speechLevel) {
            m_speechMs += 100;
            m_quietMs = 0;
        } else {
            m_quietMs += 100;
        }
        // The caller has stopped; or, never having spoken, is not there.
        if (m_quietMs >= m_options.silenceSeconds * 1000) {
            m_player.stopRecording();
            return;
        }
    }
}

void AnsweringMachine::close()
{
    if (!m_file)
        return;
    sf_close(m_file);
    m_file = nullptr;
    if (m_speechMs < 1000) {
        QFile::remove(m_path);
        emit messageDropped(m_path);
        emit eventLine(
            QStringLiteral("[No message from %1: under a second of speech]").arg(m_caller));
        return;
    }
    const int seconds = int((m_samples + 4000) / 8000);
    emit eventLine(QStringLiteral("[New message from %1 (%2:%3)]")
                       .arg(m_caller)
                       .arg(seconds / 60)
                       .arg(seconds % 60, 2, 10, QChar(u'0')));
    emit messageLeft(m_callId, m_path, seconds);
}

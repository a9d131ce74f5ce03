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
// How long a caller has for the key once the question is over.
constexpr int checkWindowMs = 8000;

} // namespace

AnsweringMachine::AnsweringMachine(ModemControl& modem, const VoiceProbe& probe, QObject* parent)
    : QObject(parent), m_modem(modem), m_probe(probe), m_player(modem),
      m_greeting({QStringLiteral("Voice/Greeting"), QStringLiteral("greeting"),
                  QStringLiteral("the tone alone"), &Announcement::greetingText}),
      m_checkGreeting({QStringLiteral("Voice/CheckGreeting"), QStringLiteral("check-5"),
                       QStringLiteral("a moment's silence"),
                       [](const QString& language) {
                           return Announcement::checkText(language, u'5');
                       }}),
      m_checkThanks({QString(), QStringLiteral("checked"), QStringLiteral("the tone alone"),
                     &Announcement::checkedText})
{
    for (VoicePrompt* prompt : {&m_greeting, &m_checkGreeting, &m_checkThanks})
        connect(prompt, &VoicePrompt::eventLine, this, &AnsweringMachine::eventLine);
    connect(&m_player, &VoicePlayer::eventLine, this, &AnsweringMachine::eventLine);
    m_player.setRecordingSink([this](const QByteArray& audio) { take(audio); });
    connect(&m_player, &VoicePlayer::heard, this, [this](VoiceEvents::Event event) {
        if (event.kind != VoiceEvents::Kind::Digit || m_player.recording())
            return;
        // The first key after the question is the answer; the others wait for the next one.
        if (m_checking && !m_pressed.isNull())
            return;
        if (m_checking)
            m_pressed = QChar::fromLatin1(event.digit);
        // A key during the greeting: the caller knows what to do.
        m_player.cutAudio();
    });
    connect(&m_player, &VoicePlayer::held, this, &AnsweringMachine::heldLine);
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

void AnsweringMachine::setCheckGreeting(const QString& file, const QString& dataFolder,
                                        const QString& language)
{
    const QChar key = m_options.checkKey;
    m_checkGreeting.setKind({QStringLiteral("Voice/CheckGreeting"), QStringLiteral("check-") + key,
                             QStringLiteral("a moment's silence"), [key](const QString& language) {
                                 return Announcement::checkText(language, key);
                             }});
    m_checkGreeting.prepare(file, dataFolder, language);
    m_checkThanks.prepare(QString(), dataFolder, language);
}

bool AnsweringMachine::answer(const QString& callId, const QString& caller, const QString& digits)
{
    const std::optional<VoiceProbe::Voice>& voice = m_probe.voice();
    if (!voice && !std::exchange(m_toldNoVoice, true))
        emit eventLine(QStringLiteral("[No voice mode known on the modem on %1: the answering "
                                      "machine cannot answer]")
                           .arg(m_modem.device()));
    if (!voice || m_player.playing())
        return false;
    if (!openMessage(digits))
        return false;
    m_callId = callId;
    m_caller = caller.isEmpty() ? QStringLiteral("an unknown caller") : caller;
    const VoiceModem::Encoding encoding = voice->format.encoding;
    const QByteArray greeting =
        VoiceTones::encode(m_greeting.samples(), encoding) + VoiceTones::beep(encoding);
    m_player.playThenRecord(*voice, greeting, m_options.maxSeconds * 1000,
                            m_modem.settings().callerIdCommand);
    emit messageStarted(m_callId, m_path);
    emit eventLine(QStringLiteral("[Answering the call from %1]").arg(m_caller));
    return true;
}

QString AnsweringMachine::whyNoCheck() const
{
    if (!m_probe.voice())
        return QStringLiteral("no voice mode is known on the modem");
    if (m_player.playing())
        return QStringLiteral("the voice line is busy with another call");
    return QString();
}

void AnsweringMachine::check(const QString& callId, const QString& caller, const QString& digits)
{
    if (!whyNoCheck().isEmpty())
        return;
    m_callId = callId;
    m_caller = caller.isEmpty() ? QStringLiteral("an unknown caller") : caller;
    m_digits = digits;
    m_checking = true;
    m_pressed = QChar();
    m_wrongKeys = 0;
    m_player.playAndHold(*m_probe.voice(), checkQuestion(m_probe.voice()->format.encoding),
                         m_modem.settings().callerIdCommand);
    emit eventLine(QStringLiteral("[Asking %1 to press %2]").arg(m_caller).arg(m_options.checkKey));
}

QByteArray AnsweringMachine::checkQuestion(VoiceModem::Encoding encoding) const
{
    // The time for the key is silence on the line: the modem reports the key while it plays.
    return VoiceTones::encode(
        m_checkGreeting.samples() + QList<qint16>(checkWindowMs * 8, qint16(0)), encoding);
}

void AnsweringMachine::heldLine(bool cut)
{
    const QChar pressed = std::exchange(m_pressed, QChar());
    const VoiceModem::Encoding encoding = m_probe.voice()->format.encoding;
    if (!cut && !pressed.isNull() && pressed != m_options.checkKey && ++m_wrongKeys < 2) {
        emit eventLine(QStringLiteral("[%1 pressed %2, not %3: asking once more]")
                           .arg(m_caller)
                           .arg(pressed)
                           .arg(m_options.checkKey));
        return m_player.playMore(checkQuestion(encoding), true);
    }
    m_checking = false;
    if (cut || pressed != m_options.checkKey) {
        // A person on an extension has the call: nothing was decided.
        if (!m_player.steppedAside())
            emit checked(m_callId, false);
        return m_player.release();
    }
    emit checked(m_callId, true);
    const QByteArray thanks = VoiceTones::encode(m_checkThanks.samples(), encoding);
    if (!openMessage(m_digits))
        return m_player.playMore(thanks, false);
    m_player.playMoreThenRecord(thanks + VoiceTones::beep(encoding), m_options.maxSeconds * 1000);
    emit messageStarted(m_callId, m_path);
}

bool AnsweringMachine::openMessage(const QString& digits)
{
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
    m_samples = m_speechMs = m_quietMs = 0;
    m_block.clear();
    m_odd.clear();
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

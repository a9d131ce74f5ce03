#include "voice/VoicePlayer.h"

#include "modem/ModemControl.h"

namespace {

// Ahead of the modem by this many samples: a host that stalls for a moment does not starve it,
// and the modem's buffer is never asked to hold more than it can.
constexpr qsizetype leadSamples = 400;
constexpr int paceMs = 20;

} // namespace

VoicePlayer::VoicePlayer(ModemControl& modem, QObject* parent) : QObject(parent), m_modem(modem)
{
    m_pace.setTimerType(Qt::PreciseTimer);
    m_pace.setInterval(paceMs);
    connect(&m_pace, &QTimer::timeout, this, &VoicePlayer::feed);
    m_endWait.setSingleShot(true);
    connect(&m_endWait, &QTimer::timeout, this, [this] {
        emit eventLine(QStringLiteral("[Modem on %1 did not end its audio; hanging up]")
                           .arg(m_modem.device()));
        endStream(QByteArray());
        restore(false, true);
    });
}

void VoicePlayer::play(const VoiceProbe::Voice& voice, const QByteArray& audio,
                       const QString& callerIdCommand)
{
    begin(voice, callerIdCommand, false);
    m_audio = audio;
}

void VoicePlayer::playThenRecord(const VoiceProbe::Voice& voice, const QByteArray& audio,
                                 int mostMs, const QString& callerIdCommand)
{
    begin(voice, callerIdCommand, false);
    m_audio = audio;
    m_thenRecord = true;
    m_mostRecordMs = mostMs;
}

void VoicePlayer::playAndHold(const VoiceProbe::Voice& voice, const QByteArray& audio,
                              const QString& callerIdCommand)
{
    play(voice, audio, callerIdCommand);
    m_hold = true;
}

void VoicePlayer::playMore(const QByteArray& audio, bool hold)
{
    if (m_step != Step::Holding)
        return;
    m_hold = hold;
    m_thenRecord = false;
    more(audio);
}

void VoicePlayer::playMoreThenRecord(const QByteArray& audio, int mostMs)
{
    if (m_step != Step::Holding)
        return;
    m_hold = false;
    m_thenRecord = true;
    m_mostRecordMs = mostMs;
    more(audio);
}

void VoicePlayer::more(const QByteArray& audio)
{
    m_audio = audio;
    m_sent = 0;
    m_cut = false;
    m_streamEnded = false;
    m_step = Step::Setting;
    next({QStringLiteral("AT+VTX")}, 0);
}

void VoicePlayer::release()
{
    if (m_step == Step::Holding)
        restore(true);
}

void VoicePlayer::cutAudio()
{
    if (m_step != Step::Streaming || m_recording)
        return;
    dropAudio(false);
}

void VoicePlayer::stepAside()
{
    if (m_step != Step::Streaming)
        return;
    m_stepAside = true;
    emit eventLine(QStringLiteral("[An extension was picked up: the modem on %1 steps aside]")
                       .arg(m_modem.device()));
    if (m_recording) {
        m_cut = true;
        return stopRecording();
    }
    dropAudio(true);
}

void VoicePlayer::record(const VoiceProbe::Voice& voice, int mostMs, const QString& callerIdCommand)
{
    begin(voice, callerIdCommand, true);
    m_mostRecordMs = mostMs;
}

void VoicePlayer::stopRecording()
{
    if (m_step != Step::Streaming || !m_recording)
        return;
    m_pace.stop();
    m_step = Step::Ending;
    // The modem sends what it still holds, <DLE><ETX>, then OK.
    m_modem.writeAudio(VoiceStream::endOfRecording(m_voice.model.quirks.tripledEnds));
    m_endWait.start(3000);
}

void VoicePlayer::begin(const VoiceProbe::Voice& voice, const QString& callerIdCommand,
                        bool recording)
{
    if (playing())
        return;
    m_voice = voice;
    m_audio.clear();
    m_recorded.clear();
    m_recording = recording;
    m_thenRecord = false;
    m_hold = false;
    m_stepAside = false;
    m_callerIdCommand = callerIdCommand;
    m_sent = 0;
    m_underruns = 0;
    m_streamed = false;
    m_streamEnded = false;
    m_cut = false;
    m_step = Step::Setting;
    next({QStringLiteral("AT+FCLASS=8"),
          VoiceModem::formatCommand(voice.format, voice.model.quirks), QStringLiteral("AT+VLS=1"),
          recording ? QStringLiteral("AT+VRX") : QStringLiteral("AT+VTX")},
         0);
}

void VoicePlayer::next(const QStringList& commands, int at)
{
    const QString command = commands.at(at);
    m_modem.request(command, this, [this, commands, at, command](CommandExchange::Reply reply) {
        using Reply = CommandExchange::Reply;
        const bool last = at + 1 == commands.size();
        if (last && reply == Reply::Connected)
            return startStream();
        if (!last && reply == Reply::Ok)
            return next(commands, at + 1);
        emit eventLine(QStringLiteral("[Modem on %1 answered %2 to %3; nothing is played]")
                           .arg(m_modem.device(),
                                reply == Reply::TimedOut ? QStringLiteral("nothing")
                                : reply == Reply::Error  ? QStringLiteral("ERROR")
                                                         : QStringLiteral("by closing"),
                                command));
        restore(false, reply == Reply::TimedOut);
    });
}

void VoicePlayer::startStream()
{
    m_step = Step::Streaming;
    m_streamed = true;
    m_reader.reset();
    m_text.clear();
    m_modem.setVoiceStream([this](const QByteArray& bytes) { streamBytes(bytes); });
    m_clock.start();
    feed();
    m_pace.start();
}

void VoicePlayer::feed()
{
    if (m_step != Step::Streaming)
        return;
    if (m_recording) {
        if (m_clock.elapsed() >= m_mostRecordMs)
            stopRecording();
        return;
    }
    const qsizetype due = std::min(m_audio.size(), qsizetype(m_clock.elapsed() * 8) + leadSamples);
    if (due > m_sent) {
        m_modem.writeAudio(VoiceStream::shield(m_audio.mid(m_sent, due - m_sent)));
        m_sent = due;
    }
    if (m_sent < m_audio.size())
        return;
    m_pace.stop();
    m_step = Step::Ending;
    m_modem.writeAudio(VoiceStream::endOfAudio(m_voice.model.quirks.tripledEnds));
    // The modem answers once its buffer has played: well within a few seconds.
    m_endWait.start(3000 + int(leadSamples / 8));
}

void VoicePlayer::streamBytes(const QByteArray& bytes)
{
    for (const VoiceStream::Reader::Piece& piece : m_reader.read(bytes)) {
        if (piece.event == 0) {
            // Audio while recording; after the stream's end (or while playing, when the modem
            // sends none) these are its words: its OK.
            if (m_recording && !m_streamEnded && m_sink)
                m_sink(piece.samples);
            else if (m_recording && !m_streamEnded)
                m_recorded += piece.samples;
            else
                m_text += piece.samples;
            continue;
        }
        if (piece.event == VoiceStream::etx) {
            m_streamEnded = true;
            continue;
        }
        const std::optional<VoiceEvents::Event> event =
            m_events.take(piece.event, m_clock.elapsed());
        if (!event)
            continue;
        using Kind = VoiceEvents::Kind;
        if (event->kind == Kind::Underrun) {
            ++m_underruns;
            continue;
        }
        // The U.S. Robotics reports its own line taken as an extension picked up; that comes
        // right after AT+VLS=1, before any stream has run for long.
        if (event->kind == Kind::LocalOffHook && m_voice.model.quirks.offHookAfterLineUp &&
            !m_recording && m_clock.elapsed() < 500)
            continue;
        emit heard(*event);
        if (event->kind == Kind::LocalOffHook) {
            stepAside();
            continue;
        }
        const bool gone = event->kind == Kind::LoopBreak || event->kind == Kind::Busy ||
                          event->kind == Kind::DialTone;
        if (gone && m_recording)
            stopRecording();
        else if (event->kind == Kind::LoopBreak)
            stopEarly(QStringLiteral("the caller hung up"));
        else if (gone)
            stopEarly(QStringLiteral("the line is free again"));
    }
    if (m_step == Step::Ending && (!m_recording || m_streamEnded)) {
        if (const qsizetype ok = m_text.indexOf("OK\r\n"); ok >= 0) {
            m_endWait.stop();
            const QByteArray rest = m_text.mid(ok + 4);
            endStream(rest);
            if (m_thenRecord && !m_recording && !m_cut) {
                m_recording = true;
                m_streamEnded = false;
                return next({QStringLiteral("AT+VRX")}, 0);
            }
            if (m_hold && !m_recording) {
                m_step = Step::Holding;
                return emit held(m_cut);
            }
            restore(!m_cut);
        }
    }
}

void VoicePlayer::stopEarly(const QString& why)
{
    if (m_step != Step::Streaming)
        return;
    emit eventLine(QStringLiteral("[Audio on %1 stopped: %2]").arg(m_modem.device(), why));
    dropAudio(true);
}

void VoicePlayer::dropAudio(bool cut)
{
    m_pace.stop();
    m_step = Step::Ending;
    m_cut = m_cut || cut;
    m_modem.writeAudio(VoiceStream::cancelAudio() +
                       VoiceStream::endOfAudio(m_voice.model.quirks.tripledEnds));
    m_endWait.start(3000);
}

void VoicePlayer::endStream(const QByteArray& rest)
{
    m_pace.stop();
    m_modem.setVoiceStream(nullptr, rest);
}

void VoicePlayer::restore(bool played, bool reset)
{
    m_step = Step::Restoring;
    m_played = played;
    m_reset = reset;
    m_restoring.clear();
    if (reset)
        m_restoring << QStringLiteral("ATZ");
    // A person on an extension has the call: the modem leaves the line (V.253's on-hook), the
    // call goes on.
    m_restoring << (m_stepAside ? QStringLiteral("AT+VLS=0") : QStringLiteral("ATH0"))
                << QStringLiteral("AT+FCLASS=0");
    if (!m_callerIdCommand.isEmpty())
        m_restoring << m_callerIdCommand;
    restoreNext(0);
}

void VoicePlayer::restoreNext(int at)
{
    if (at == m_restoring.size())
        return done();
    m_modem.request(m_restoring.at(at), this, [this, at](CommandExchange::Reply reply) {
        // A modem that does not answer is reset and set up again, once.
        if (reply == CommandExchange::Reply::TimedOut && !m_reset)
            return restore(m_played, true);
        restoreNext(at + 1);
    });
}

void VoicePlayer::done()
{
    m_step = Step::Idle;
    emit finished(m_played);
}

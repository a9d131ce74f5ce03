// A Hayes caller-ID modem on a pseudo-terminal, for trying ringdesk without hardware and for its
// tests. It echoes what it is sent, answers AT commands with OK or ERROR, knows ATZ, ATI3 and
// ATI6, accepts exactly one caller-ID command, and places calls when told to on standard input
// (or every few seconds). It prints "device <path>" once the pseudo-terminal is ready.
//
// The hook: ATH1, ATA and AT+VLS=1 (or another non-zero line) take the line off-hook, ATH0, ATH
// and AT+VLS=0 put it back; AT+FCLASS=n is accepted. Each change prints "hook off MICROSECONDS" or
// "hook on MICROSECONDS" (the monotonic clock). With --ring-every MS a call goes on ringing (four
// more RINGs) until the line is taken off-hook; --refuse COMMANDS answers ERROR to the commands
// that begin with one of them.
// --voice MODEL answers ATI0, AT+FCLASS=? and AT+VSM=? as that model does (usr5637, conexant,
// or none: a data modem without voice), as the modem makers' command references give them.
// With a voice model it speaks V.253 as a real one plays: AT+FCLASS=8, AT+VSM with a code the
// model lists, AT+VLS=1 (the U.S. Robotics then sends <DLE>H), AT+VTX answers CONNECT and takes
// shielded audio (<DLE><DLE> one 0x10 sample, <DLE><CAN> drops what it holds, <DLE><ETX> ends;
// --tripled-ends: only <DLE><DLE><DLE><ETX> ends) into a 1 KB buffer played at 8000 bytes a
// second: bytes past the buffer are dropped (an overrun), an empty buffer plays silence and sends
// <DLE>u once (an underrun). Once the end has played it answers OK and prints
// "played BYTES underruns N overruns M" (--no-ok-after-audio: and no OK); --audio-out FILE gets
// every byte played, silence too. The first audio byte of each stream prints "first-audio
// MICROSECONDS". --far-end SCRIPT is the caller on a line it has taken (tones, silence, DTMF
// digits pressed or held, busy, dial tone, an extension picked up, hang-up), its events sent as
// they fall; AT+VRX answers CONNECT and sends its audio at 8000 bytes a second, shielded;
// <DLE>! ends it with <DLE><ETX> and OK, printing "recorded BYTES".
//
// Commands on standard input, one per line:
//   call [NUMBER [NAME...]]   a formatted call (RING, DATE, TIME, NMBR, NAME, empty line, RING)
//   number [NUMBER]           number only
//   private | outofarea       number withheld ("P") or out of area ("O")
//   mesg [DIGITS]             the number only as a MESG line
//   alone [NUMBER [NAME...]]  no DATE or TIME: RING, NMBR (NAME and an empty line), RING
//   ring                      one RING
//   event CODE                <DLE> and CODE, a voice event from the far end: a DTMF digit,
//                             b (busy tone), d (dial tone), l (the caller hung up)...
//   hang | wake               stop answering (as --silent), answer again
//   replay FILE               the file's bytes as they stand
//   quit
// After each command it prints "done VERB MICROSECONDS" (the monotonic clock once its bytes are
// written); "caller-id on" when the caller-ID command has been accepted.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sndfile.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Caller
{
    const char* number;
    const char* name;
};

const Caller demoCallers[] = {{"6135551234", "SMITH JOHN"},
                              {"8195550199", "TREMBLAY MARIE"},
                              {"P", "P"},
                              {"5550142", ""},
                              {"O", "O"},
                              {"16045550177", "ACME LTD"}};

class Modem : public QObject
{
public:
    Modem(int master, QString accept, bool echo, bool silent)
        : m_master(master), m_accept(std::move(accept)), m_echo(echo), m_silent(silent)
    {
        m_reader = new QSocketNotifier(master, QSocketNotifier::Read, this);
        connect(m_reader, &QSocketNotifier::activated, this, [this] { readLine(); });
        connect(&m_playTimer, &QTimer::timeout, this, [this] { play(); });
        connect(&m_recordTimer, &QTimer::timeout, this, [this] { speak(); });
        m_recordTimer.setTimerType(Qt::PreciseTimer);
        m_playTimer.setTimerType(Qt::PreciseTimer);
        connect(&m_ringing, &QTimer::timeout, this, [this] {
            if (m_offHook || m_ringsLeft-- <= 0) {
                m_ringing.stop();
                return;
            }
            send("RING\r\n");
        });
    }

    void setRingEvery(int milliseconds) { m_ringing.setInterval(milliseconds); }
    void setRefused(const QList<QByteArray>& commands) { m_refused = commands; }
    // A modem that says nothing once its audio has played, not even the OK V.253 asks for.
    void setNoOkAfterAudio(bool none) { m_noOkAfterAudio = none; }
    void setVoice(const QByteArray& model) { m_voice = model; }
    // The far end of a call the host has answered, on a timeline from the moment the line is
    // taken (AT+VLS=1 in voice mode): steps separated by ';', each tone:HZ:MS (8-bit samples
    // 128 + 120 sin, so 0x10 samples among them), speech:FILE (a recording, any sound file),
    // silence:MS, digit:D (<DLE>D), hold:D:MS (a key
    // held: <DLE>D every 70 ms), busy (<DLE>b), dialtone (<DLE>d), offhook (<DLE>H, an extension
    // picked up) or hangup (<DLE>l); silence follows the last step. Its audio reaches the host
    // while it records (AT+VRX); its events whenever they fall.
    void setFarEnd(const QByteArray& script)
    {
        for (const QByteArray& step : script.split(';')) {
            const QList<QByteArray> parts = step.trimmed().split(':');
            const QByteArray kind = parts.value(0);
            const int ms = parts.value(kind == "tone" || kind == "hold" ? 2 : 1).toInt();
            if (kind == "tone") {
                const double hz = parts.value(1).toDouble();
                for (int n = 0; n < ms * 8; ++n)
                    m_farAudio += char(128 + int(120 * std::sin(2 * M_PI * hz * n / 8000)));
            } else if (kind == "speech") {
                m_farAudio += soundFile(step.trimmed().mid(7));
            } else if (kind == "silence") {
                m_farAudio += QByteArray(ms * 8, char(0x80));
            } else if (kind == "hold") {
                for (int at = 0; at < ms; at += 70)
                    m_farEvents.append({m_farAudio.size() + at * 8, parts.value(1).at(0)});
                m_farAudio += QByteArray(ms * 8, char(0x80));
            } else if (kind == "digit" || kind == "busy" || kind == "hangup" ||
                       kind == "dialtone" || kind == "offhook") {
                const char code = kind == "digit"      ? parts.value(1).left(1).at(0)
                                  : kind == "busy"     ? 'b'
                                  : kind == "dialtone" ? 'd'
                                  : kind == "offhook"  ? 'H'
                                                       : 'l';
                m_farEvents.append({m_farAudio.size(), code});
            }
        }
    }
    // A sound file as the line's 8-bit samples at 8000 Hz (nearest sample, first channel):
    // nothing when it cannot be read.
    static QByteArray soundFile(const QByteArray& path)
    {
        SF_INFO info{};
        SNDFILE* file = sf_open(path.constData(), SFM_READ, &info);
        if (!file) {
            std::fprintf(stderr, "cannot read %s: %s\n", path.constData(), sf_strerror(nullptr));
            return {};
        }
        std::vector<short> frames(size_t(info.frames) * size_t(info.channels));
        const sf_count_t got = sf_readf_short(file, frames.data(), info.frames);
        sf_close(file);
        QByteArray line;
        for (qint64 n = 0; info.samplerate > 0 && n * info.samplerate / 8000 < got; ++n) {
            const short sample = frames[size_t(n * info.samplerate / 8000 * info.channels)];
            line += char(128 + sample / 256);
        }
        return line;
    }

    void setAudioOut(const QString& path, bool tripledEnds)
    {
        m_audioOut.setFileName(path);
        m_tripledEnds = tripledEnds;
    }

    void send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += n;
        }
    }

    void call(const QByteArray& kind, const QByteArray& number, const QByteArray& name)
    {
        if (!m_callerId) {
            send("RING\r\n\r\nRING\r\n");
            return;
        }
        if (kind == "alone") {
            // Lines with DTMF caller ID, and some modems, send the number (and name) alone.
            QByteArray block = "RING\r\nNMBR = " + number + "\r\n";
            if (!name.isEmpty())
                block += "NAME = " + name + "\r\n\r\n";
            send(block + "RING\r\n");
            return;
        }
        const QDateTime now = QDateTime::currentDateTime();
        const QByteArray date =
            "DATE = " + now.toString(QStringLiteral("MMdd")).toLatin1() + "\r\n";
        const QByteArray time =
            "TIME = " + now.toString(QStringLiteral("hhmm")).toLatin1() + "\r\n";
        QByteArray block = "RING\r\n\r\n" + date + time;
        if (kind == "mesg") {
            QByteArray mesg =
                "MESG = 02" +
                QByteArray::number(number.size(), 16).rightJustified(2, '0').toUpper();
            for (const char digit : number)
                mesg += QByteArray::number(uchar(digit), 16).toUpper();
            block += mesg + "\r\n";
        } else {
            block += "NMBR = " + number + "\r\n";
            if (kind == "call")
                block += "NAME = " + name + "\r\n";
        }
        block += "\r\nRING\r\n";
        m_offHook = false;
        send(block);
        if (m_ringing.interval() > 0) {
            m_ringsLeft = 4;
            m_ringing.start();
        }
    }

    // A hung modem reads what it is sent and says nothing, not even its echo.
    void setSilent(bool silent) { m_silent = silent; }

    void demoCall()
    {
        const Caller& c = demoCallers[m_nextDemo++ % (sizeof demoCallers / sizeof *demoCallers)];
        call(QByteArray(c.name).isEmpty() ? "number" : "call", c.number, c.name);
    }

private:
    void readLine()
    {
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            // Nobody has the terminal open: wait a moment rather than spin.
            m_reader->setEnabled(false);
            QTimer::singleShot(100, this, [this] { m_reader->setEnabled(true); });
            return;
        }
        if (m_silent)
            return;
        // The modem plays on whatever the host does: what was due by now is played first.
        if (m_playing)
            play();
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (m_recording) {
                // The host ends a recording with <DLE>! (tripled by some: the last pair counts).
                if (m_recordDle && c == '!')
                    endRecording();
                m_recordDle = !m_recordDle && c == 0x10;
                continue;
            }
            if (m_playing) {
                takeAudio(c);
                continue;
            }
            if (m_echo)
                send(QByteArray(1, c));
            if (c == '\n')
                continue;
            if (c != '\r') {
                m_command += c;
                continue;
            }
            answer(m_command.trimmed().toUpper());
            m_command.clear();
        }
    }

    // One byte from the host while it plays, read as V.253 shields it.
    void takeAudio(char c)
    {
        constexpr char dle = 0x10;
        if (!m_afterDle && c == dle) {
            m_afterDle = true;
            return;
        }
        if (!m_afterDle) {
            buffer(c);
            m_lastWasShielded = false;
            return;
        }
        m_afterDle = false;
        if (c == dle) {
            buffer(dle);
            m_lastWasShielded = true;
        } else if (c == 0x03 && (!m_tripledEnds || m_lastWasShielded)) {
            if (m_tripledEnds && !m_audio.isEmpty())
                m_audio.chop(1); // the DLE pair was the first of three
            m_ending = true;
        } else if (c == 0x18) {
            m_audio.clear();
        }
    }

    void buffer(char sample)
    {
        if (m_audio.size() >= 1024) {
            ++m_overruns;
            return;
        }
        m_audio += sample;
        if (!std::exchange(m_started, true)) {
            // When the caller starts to hear something, for the benchmark's latency.
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("first-audio %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
            std::fflush(stdout);
        }
    }

    // Plays what is due by the clock since CONNECT, from the buffer or, when it ran dry, silence.
    void play()
    {
        const qint64 due = m_clock.elapsed() * 8 - m_played;
        // The silence of µ-law is 0xff, of A-law 0xd5, of 8-bit linear 0x80.
        const bool aLaw = m_voice == "usr5637" ? m_format == 130 : m_format == 132;
        const char silence = m_format == 131 ? char(0xff) : aLaw ? char(0xd5) : char(0x80);
        for (qint64 i = 0; i < due; ++i) {
            if (!m_audio.isEmpty()) {
                m_out += m_audio.front();
                m_audio.remove(0, 1);
                m_dry = false;
            } else if (m_ending) {
                break;
            } else {
                if (m_started && !m_dry) {
                    ++m_underruns;
                    send(QByteArray("\x10u", 2));
                }
                m_dry = true;
                m_out += silence;
            }
            ++m_played;
        }
        if (m_ending && m_audio.isEmpty()) {
            m_playTimer.stop();
            m_playing = false;
            if (!m_audioOut.fileName().isEmpty() && m_audioOut.open(QIODevice::Append)) {
                m_audioOut.write(m_out);
                m_audioOut.close();
            }
            std::printf("played %lld underruns %d overruns %d\n",
                        static_cast<long long>(m_out.size()), m_underruns, m_overruns);
            std::fflush(stdout);
            if (!m_noOkAfterAudio)
                send("\r\nOK\r\n");
        }
    }

    // The far end's audio due by now, shielded, with its events where they fall.
    void speak()
    {
        const qint64 due = m_lineClock.elapsed() * 8;
        QByteArray out;
        for (; m_sentFar < due; ++m_sentFar) {
            while (m_nextEvent < m_farEvents.size() && m_farEvents[m_nextEvent].first <= m_sentFar)
                out += QByteArray("\x10") + m_farEvents[m_nextEvent++].second;
            if (!m_recording)
                continue; // nothing of the far end's audio reaches the host unless it records
            const char sample = m_sentFar < m_farAudio.size() ? m_farAudio.at(m_sentFar) : '\x80';
            out += sample == 0x10 ? QByteArray("\x10\x10") : QByteArray(1, sample);
            ++m_recordedFar;
        }
        send(out);
    }

    void endRecording()
    {
        speak();
        m_recording = false;
        send(QByteArray("\x10\x03\r\nOK\r\n"));
        std::printf("recorded %lld\n", static_cast<long long>(m_recordedFar));
        std::fflush(stdout);
    }

    void startPlaying()
    {
        m_playing = true;
        m_afterDle = m_ending = m_started = m_dry = m_lastWasShielded = false;
        m_audio.clear();
        m_out.clear();
        m_played = 0;
        m_underruns = m_overruns = 0;
        send("\r\nCONNECT\r\n");
        m_clock.start();
        m_playTimer.start(10);
    }

    bool knowsFormat(const QByteArray& command) const
    {
        const int code = command.mid(7).split(',').value(0).toInt();
        return m_voice == "usr5637" ? code >= 128 && code <= 132
                                    : QList<int>{0, 1, 129, 130, 131, 132}.contains(code);
    }

    void setHook(bool off)
    {
        if (off == m_offHook)
            return;
        m_offHook = off;
        if (off)
            m_ringing.stop();
        // The far end is on the line from the moment a voice modem takes it.
        m_recordTimer.stop();
        if (off && m_class == 8 && (!m_farAudio.isEmpty() || !m_farEvents.isEmpty())) {
            m_lineClock.start();
            m_sentFar = 0;
            m_nextEvent = 0;
            m_recordTimer.start(10);
        }
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("hook %s %lld\n", off ? "off" : "on",
                    static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
        std::fflush(stdout);
    }

    void answer(const QByteArray& command)
    {
        if (command.isEmpty() || !command.startsWith("AT"))
            return; // a Hayes modem ignores anything that is not a command
        const bool voice = !m_voice.isEmpty() && m_voice != "none";
        const auto refused = [&command](const QByteArray& start) {
            return command.startsWith(start);
        };
        if (std::any_of(m_refused.cbegin(), m_refused.cend(), refused)) {
            send("\r\nERROR\r\n");
        } else if (voice && command == "AT+FCLASS=8") {
            m_class = 8;
            send("\r\nOK\r\n");
        } else if (voice && command == "AT+FCLASS=0") {
            m_class = 0;
            send("\r\nOK\r\n");
        } else if (voice && command.startsWith("AT+VSM=") && command != "AT+VSM=?") {
            const bool known = m_class == 8 && knowsFormat(command);
            if (known)
                m_format = command.mid(7).split(',').value(0).toInt();
            send(known ? "\r\nOK\r\n" : "\r\nERROR\r\n");
        } else if (voice && command == "AT+VLS=1") {
            setHook(true);
            send("\r\nOK\r\n");
            if (m_voice == "usr5637" && m_class == 8)
                send(QByteArray("\x10H", 2));
        } else if (voice && command == "AT+VTX") {
            if (m_class == 8 && m_offHook)
                startPlaying();
            else
                send("\r\nERROR\r\n");
        } else if (voice && command == "AT+VRX") {
            if (m_class == 8 && m_offHook) {
                speak(); // what fell before the recording
                m_recording = true;
                m_recordDle = false;
                m_recordedFar = 0;
                send("\r\nCONNECT\r\n");
            } else {
                send("\r\nERROR\r\n");
            }
        } else if (command == "ATH1" || command == "ATA" ||
                   (command.startsWith("AT+VLS=") && command != "AT+VLS=0")) {
            setHook(true);
            send("\r\nOK\r\n");
        } else if (command == "ATH0" || command == "ATH" || command == "AT+VLS=0") {
            setHook(false);
            send("\r\nOK\r\n");
        } else if (command == "ATI0" && !m_voice.isEmpty() && m_voice != "none") {
            send(m_voice == "usr5637" ? "\r\n5601\r\n\r\nOK\r\n" : "\r\n56000\r\n\r\nOK\r\n");
        } else if (command == "AT+FCLASS=?" && !m_voice.isEmpty()) {
            send(m_voice == "usr5637"    ? "\r\n0,1,1.0,2,2.0,8\r\n\r\nOK\r\n"
                 : m_voice == "conexant" ? "\r\n(0,1,1.0,8)\r\n\r\nOK\r\n"
                                         : "\r\n0,1,2.0\r\n\r\nOK\r\n");
        } else if (command == "AT+VSM=?" && m_voice == "usr5637") {
            send("\r\n128,\"8-BIT LINEAR\",8,0,(7200,8000,11025),(0),(0)\r\n"
                 "129,\"16-BIT LINEAR\",16,0,(7200,8000,11025),(0),(0)\r\n"
                 "130,\"8-BIT ALAW\",8,0,8000,(0),(0)\r\n131,\"8-BIT ULAW\",8,0,8000,(0),(0)\r\n"
                 "132,\"IMA ADPCM\",4,0,(7200,8000,11025),(0),(0)\r\n\r\nOK\r\n");
        } else if (command == "AT+VSM=?" && m_voice == "conexant") {
            send("\r\n0,\"SIGNED PCM\",8,0,8000,0,0\r\n1,\"UNSIGNED PCM\",8,0,8000,0,0\r\n"
                 "129,\"IMA ADPCM\",4,0,8000,0,0\r\n130,\"UNSIGNED PCM\",8,0,8000,0,0\r\n"
                 "131,\"G.711U\",8,0,8000,0,0\r\n132,\"G.711A\",8,0,8000,0,0\r\n\r\nOK\r\n");
        } else if (command.startsWith("AT+FCLASS=")) {
            send("\r\nOK\r\n");
        } else if (command == "AT" || command == "ATZ") {
            if (command == "ATZ")
                m_callerId = false;
            send("\r\nOK\r\n");
        } else if (command == "ATI3") {
            send("\r\nRingsim 56K Voice Modem v1.0\r\n\r\nOK\r\n");
        } else if (command == "ATI6") {
            send("\r\nCaller ID: SDMF and MDMF\r\nDistinctive ring: no\r\n\r\nOK\r\n");
        } else if (command == m_accept.toUpper().toLatin1()) {
            m_callerId = true;
            send("\r\nOK\r\n");
            std::printf("caller-id on\n");
            std::fflush(stdout);
        } else {
            send("\r\nERROR\r\n");
        }
    }

    int m_master;
    QString m_accept;
    bool m_echo;
    bool m_silent;
    bool m_callerId = false;
    bool m_offHook = false;
    int m_ringsLeft = 0;
    QTimer m_ringing;
    QList<QByteArray> m_refused;
    bool m_noOkAfterAudio = false;
    QByteArray m_voice; // the model whose voice it has; empty: answers as a plain modem
    int m_class = 0;
    int m_format = 128;
    bool m_playing = false;
    bool m_recording = false; // sending the far end's audio (AT+VRX)
    bool m_recordDle = false;
    QByteArray m_farAudio;
    QList<std::pair<qint64, char>> m_farEvents; // at which sample, which event
    qint64 m_sentFar = 0;                       // the far end's timeline, in samples, up to here
    qsizetype m_nextEvent = 0;                  // its next event
    qint64 m_recordedFar = 0;                   // samples sent to the host in this recording
    QElapsedTimer m_lineClock;
    QTimer m_recordTimer;
    bool m_afterDle = false;
    bool m_lastWasShielded = false;
    bool m_tripledEnds = false;
    bool m_ending = false;  // the end is in; it answers OK once the buffer has played
    bool m_started = false; // audio has come: an empty buffer from now on is an underrun
    bool m_dry = false;
    QByteArray m_audio; // the modem's buffer
    QByteArray m_out;   // what it played
    qint64 m_played = 0;
    int m_underruns = 0;
    int m_overruns = 0;
    QElapsedTimer m_clock;
    QTimer m_playTimer;
    QFile m_audioOut;
    int m_nextDemo = 0;
    QByteArray m_command;
    QSocketNotifier* m_reader;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A caller-ID modem on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("accept"), QStringLiteral("The caller-ID command accepted."),
                      QStringLiteral("command"), QStringLiteral("AT+VCID=1")});
    parser.addOption({QStringLiteral("link"), QStringLiteral("A symbolic link to the device."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("every"), QStringLiteral("Place a demo call every N seconds."),
                      QStringLiteral("seconds")});
    parser.addOption({QStringLiteral("no-echo"), QStringLiteral("Do not echo commands.")});
    parser.addOption({QStringLiteral("silent"), QStringLiteral("Never answer (a dead modem).")});
    parser.addOption({QStringLiteral("far-end"),
                      QStringLiteral("The caller on a line the host has taken: steps "
                                     "tone:HZ:MS, speech:FILE, silence:MS, digit:D, hold:D:MS, "
                                     "busy, dialtone, offhook, hangup, separated by ';'."),
                      QStringLiteral("script")});
    parser.addOption({QStringLiteral("no-ok-after-audio"),
                      QStringLiteral("Send no OK once the audio has played.")});
    parser.addOption({QStringLiteral("ring-every"),
                      QStringLiteral("Go on ringing every MS milliseconds until off-hook."),
                      QStringLiteral("ms")});
    parser.addOption({QStringLiteral("refuse"),
                      QStringLiteral("Answer ERROR to the commands that begin with these "
                                     "(comma-separated)."),
                      QStringLiteral("commands")});
    parser.addOption(
        {QStringLiteral("voice"),
         QStringLiteral("Answer voice queries as MODEL does (usr5637, conexant, none)."),
         QStringLiteral("model")});
    parser.addOption({QStringLiteral("audio-out"),
                      QStringLiteral("Append every byte a voice modem plays to FILE."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("tripled-ends"),
                      QStringLiteral("End played audio only at <DLE><DLE><DLE><ETX>.")});
    parser.process(app);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("modemsim: pseudo-terminal");
        return 1;
    }
    const QByteArray device = ::ptsname(master);
    // Holding the other side open keeps the terminal alive between ringdesk's opens and closes.
    const int slave = ::open(device.constData(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (slave >= 0 && ::tcgetattr(slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    const QString link = parser.value(QStringLiteral("link"));
    if (!link.isEmpty()) {
        QFile::remove(link);
        if (!QFile::link(QString::fromLocal8Bit(device), link)) {
            std::fprintf(stderr, "modemsim: cannot link %s\n", qPrintable(link));
            return 1;
        }
    }
    std::printf("device %s\n", device.constData());
    std::fflush(stdout);

    Modem modem(master, parser.value(QStringLiteral("accept")),
                !parser.isSet(QStringLiteral("no-echo")), parser.isSet(QStringLiteral("silent")));
    modem.setRingEvery(parser.value(QStringLiteral("ring-every")).toInt());
    modem.setVoice(parser.value(QStringLiteral("voice")).toLatin1());
    modem.setFarEnd(parser.value(QStringLiteral("far-end")).toLatin1());
    modem.setAudioOut(parser.value(QStringLiteral("audio-out")),
                      parser.isSet(QStringLiteral("tripled-ends")));
    modem.setNoOkAfterAudio(parser.isSet(QStringLiteral("no-ok-after-audio")));
    if (parser.isSet(QStringLiteral("refuse")))
        modem.setRefused(parser.value(QStringLiteral("refuse")).toUpper().toLatin1().split(','));

    QTimer demo;
    const int every = parser.value(QStringLiteral("every")).toInt();
    if (every > 0) {
        QObject::connect(&demo, &QTimer::timeout, &modem, [&modem] { modem.demoCall(); });
        demo.start(every * 1000);
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &modem, [&] {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // standard input closed: go on with the timer alone
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = pending.left(end).trimmed().split(' ');
            pending.remove(0, end + 1);
            const QByteArray verb = words.value(0);
            const QByteArray number = words.value(1);
            const QByteArray name = words.mid(2).join(' ');
            if (verb == "call")
                modem.call("call", number.isEmpty() ? "6135551234" : number,
                           number.isEmpty() ? QByteArray("DOE JOHN") : name);
            else if (verb == "number")
                modem.call("number", number.isEmpty() ? "6135551234" : number, {});
            else if (verb == "alone")
                modem.call("alone", number.isEmpty() ? "6135551234" : number, name);
            else if (verb == "private")
                modem.call("call", "P", "P");
            else if (verb == "outofarea")
                modem.call("call", "O", "O");
            else if (verb == "mesg")
                modem.call("mesg", number.isEmpty() ? "6135551234" : number, {});
            else if (verb == "ring")
                modem.send("RING\r\n");
            else if (verb == "event")
                modem.send("\x10" + number.left(1)); // the far end: a digit, b (busy), l...
            else if (verb == "hang")
                modem.setSilent(true);
            else if (verb == "wake")
                modem.setSilent(false);
            else if (verb == "replay") {
                QFile file(QString::fromLocal8Bit(number));
                if (file.open(QIODevice::ReadOnly))
                    modem.send(file.readAll());
                else
                    std::fprintf(stderr, "modemsim: cannot read %s\n", number.constData());
            } else if (verb == "quit")
                QCoreApplication::quit();
            else if (!verb.isEmpty())
                std::fprintf(stderr, "modemsim: unknown command %s\n", verb.constData());
            // When the last byte went out, on the system's monotonic clock in microseconds, so a
            // benchmark can time what the other side does with it.
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("done %s %lld\n", verb.constData(),
                        static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
            std::fflush(stdout);
        }
    });

    const int code = QCoreApplication::exec();
    if (!link.isEmpty())
        QFile::remove(link);
    if (slave >= 0)
        ::close(slave);
    ::close(master);
    return code;
}

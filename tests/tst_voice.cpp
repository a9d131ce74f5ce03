#include "voice/Announcement.h"
#include "voice/VoiceEvents.h"
#include "voice/VoiceModem.h"
#include "voice/VoiceStream.h"
#include "voice/VoiceTones.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <spandsp.h>

using namespace VoiceModem;

class TestVoice : public QObject
{
    Q_OBJECT
private slots:
    void streamReadsAcrossEverySplit_data();
    void streamReadsAcrossEverySplit();
    void digitsArePresses_data();
    void digitsArePresses();
    void modemAnswersChooseTheVoice_data();
    void modemAnswersChooseTheVoice();
    void quirksByName();
    void tonesByTheirFrequencies_data();
    void tonesByTheirFrequencies();
    void soundFilesComeToTheLinesRate_data();
    void soundFilesComeToTheLinesRate();
};

namespace {

// A piece as the test writes it: "audio:HEX" or "event:C".
QString describe(const QList<VoiceStream::Reader::Piece>& pieces)
{
    QStringList out;
    QByteArray audio;
    auto flush = [&] {
        if (!audio.isEmpty())
            out << "audio:" + QString::fromLatin1(audio.toHex());
        audio.clear();
    };
    for (const auto& piece : pieces) {
        if (piece.event == 0) {
            audio += piece.samples;
            continue;
        }
        flush();
        out << QStringLiteral("event:") + QChar::fromLatin1(piece.event);
    }
    flush();
    return out.join(u' ');
}

} // namespace

// What the modem sends, cut in two at every place (a pair split across two reads among them),
// reads the same.
void TestVoice::streamReadsAcrossEverySplit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("read");
    QTest::newRow("plain audio") << QByteArray::fromHex("80817f") << "audio:80817f";
    QTest::newRow("a 0x10 sample, shielded")
        << QByteArray::fromHex("8010108010") + QByteArray::fromHex("10") << "audio:80108010";
    QTest::newRow("two 0x10 samples as <DLE><SUB>")
        << QByteArray::fromHex("80101a80") << "audio:80101080";
    QTest::newRow("a digit between audio") << QByteArray::fromHex("8080") +
                                                  "\x10"
                                                  "5" +
                                                  QByteArray::fromHex("7f")
                                           << "audio:8080 event:5 audio:7f";
    QTest::newRow("samples that look like events, shielded")
        << QByteArray::fromHex("101062") + QByteArray("\x10"
                                                      "b",
                                                      2)
        << "audio:1062 event:b";
    QTest::newRow("the end of the stream")
        << QByteArray::fromHex("8010108010031010") << "audio:801080 event:\x03 audio:10";
}

void TestVoice::streamReadsAcrossEverySplit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, read);
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        VoiceStream::Reader reader;
        QList<VoiceStream::Reader::Piece> pieces = reader.read(bytes.left(cut));
        pieces += reader.read(bytes.mid(cut));
        QCOMPARE(describe(pieces), read);
    }
    // What the host shields reads back as it was.
    const QByteArray audio = QByteArray::fromHex("0010101080ff10");
    VoiceStream::Reader reader;
    QCOMPARE(describe(reader.read(VoiceStream::shield(audio))), "audio:" + audio.toHex());
}

// Each row: codes from the modem and when (ms), and the digits and events they are.
void TestVoice::digitsArePresses_data()
{
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<QString>("events");
    QTest::newRow("a held key repeats")
        << QByteArray("55555") << QList<int>{0, 70, 140, 210, 280} << "5";
    QTest::newRow("one key pressed twice") << QByteArray("55") << QList<int>{0, 400} << "55";
    QTest::newRow("two keys at once") << QByteArray("56") << QList<int>{0, 70} << "56";
    QTest::newRow("a bracketed press")
        << QByteArray("/777~/7~") << QList<int>{0, 0, 70, 140, 200, 600, 600, 670} << "77";
    QTest::newRow("a press ended by 0x7f")
        << QByteArray("/9\x7f/9\x7f") << QList<int>{0, 0, 50, 100, 100, 150} << "99";
    QTest::newRow("what the caller's line does")
        << QByteArray("bldsq\x03x") << QList<int>{0, 1, 2, 3, 4, 5, 6}
        << "busy hung-up dial-tone silence end-of-message end";
}

void TestVoice::digitsArePresses()
{
    QFETCH(QByteArray, codes);
    QFETCH(QList<int>, times);
    using Kind = VoiceEvents::Kind;
    VoiceEvents::Reader reader;
    QStringList out;
    QString digits;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const std::optional<VoiceEvents::Event> event = reader.take(codes.at(i), times.at(i));
        if (!event)
            continue;
        switch (event->kind) {
        case Kind::Digit:
            digits += QChar::fromLatin1(event->digit);
            continue;
        case Kind::Busy:
            out << "busy";
            break;
        case Kind::LoopBreak:
            out << "hung-up";
            break;
        case Kind::DialTone:
            out << "dial-tone";
            break;
        case Kind::Silence:
            out << "silence";
            break;
        case Kind::SilenceAfterVoice:
            out << "end-of-message";
            break;
        case Kind::EndOfStream:
            out << "end";
            break;
        default:
            out << "other";
        }
    }
    QTEST(digits.isEmpty() ? out.join(u' ') : digits, "events");
}

// Each row: a model's answers to ATI0, AT+FCLASS=? and AT+VSM=?, and what is made of them.
void TestVoice::modemAnswersChooseTheVoice_data()
{
    QTest::addColumn<QString>("ati0");
    QTest::addColumn<QStringList>("classes");
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("command"); // empty: no voice
    QTest::addColumn<QString>("said");
    QTest::newRow("U.S. Robotics 5637")
        << "5601" << QStringList{"0,1,1.0,2,2.0,8"}
        << QStringList{"128,\"8-BIT LINEAR\",8,0,(7200,8000,11025),(0),(0)",
                       "129,\"16-BIT LINEAR\",16,0,(7200,8000,11025),(0),(0)",
                       "130,\"8-BIT ALAW\",8,0,8000,(0),(0)", "131,\"8-BIT ULAW\",8,0,8000,(0),(0)",
                       "132,\"IMA ADPCM\",4,0,8000,(0),(0)"}
        << "U.S. Robotics 5637"
        << "AT+VSM=128,8000"
        << "8-bit linear at 8000 Hz";
    QTest::newRow("Conexant CX93001")
        << "56000" << QStringList{"(0,1,1.0,8)"}
        << QStringList{"0,\"SIGNED PCM\",8,0,8000,0,0",  "1,\"UNSIGNED PCM\",8,0,8000,0,0",
                       "129,\"IMA ADPCM\",4,0,8000,0,0", "130,\"UNSIGNED PCM\",8,0,8000,0,0",
                       "131,\"G.711U\",8,0,8000,0,0",    "132,\"G.711A\",8,0,8000,0,0"}
        << "Conexant"
        << "AT+VSM=1,8000,0,0"
        << "8-bit linear at 8000 Hz";
    QTest::newRow("µ-law only, a range of rates")
        << "" << QStringList{"0,1,8"} << QStringList{"4,\"U-LAW\",8,0,7200-9600,0,0"} << ""
        << "AT+VSM=4,8000"
        << "µ-law at 8000 Hz";
    QTest::newRow("no voice class")
        << "" << QStringList{"0,1,2.0"} << QStringList{"128,\"8-BIT LINEAR\",8,0,8000,0,0"} << ""
        << ""
        << "";
    QTest::newRow("class 8.0 is no class 8")
        << "" << QStringList{"0,1,8.0"} << QStringList{"128,\"8-BIT LINEAR\",8,0,8000,0,0"} << ""
        << ""
        << "";
    QTest::newRow("only ADPCM") << "" << QStringList{"8"}
                                << QStringList{"132,\"IMA ADPCM\",4,0,8000,0,0", "OK"} << ""
                                << ""
                                << "";
}

void TestVoice::modemAnswersChooseTheVoice()
{
    QFETCH(QString, ati0);
    QFETCH(QStringList, classes);
    QFETCH(QStringList, formats);
    QFETCH(QString, command);
    const Model found = model(ati0, QString());
    QTEST(found.name, "model");
    const std::optional<Format> chosen =
        hasVoice(classes) ? choose(VoiceModem::formats(formats)) : std::nullopt;
    QCOMPARE(chosen.has_value(), !command.isEmpty());
    if (!chosen)
        return;
    QCOMPARE(formatCommand(*chosen, found.quirks), command);
    QTEST(VoiceModem::describe(*chosen), "said");
}

void TestVoice::quirksByName()
{
    Quirks quirks;
    QString unknown;
    QVERIFY(applyQuirks("Tripled-Ends, no-silence", &quirks, &unknown));
    QVERIFY(quirks.tripledEnds && quirks.noSilenceReports && !quirks.extendedVsm);
    QVERIFY(!applyQuirks("tripled-ends loud", &quirks, &unknown));
    QCOMPARE(unknown, "loud");
    QCOMPARE(VoiceStream::endOfAudio(true), QByteArray("\x10\x10\x10\x03"));
    QCOMPARE(VoiceStream::endOfRecording(false), QByteArray("\x10!"));
}

namespace {

// The samples as the line carries them, decoded here by G.711's own rules.
QList<double> linear(const QByteArray& bytes, Encoding encoding)
{
    QList<double> out;
    if (encoding == Encoding::Linear16) {
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            out << qint16(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8));
        return out;
    }
    for (const char byte : bytes)
        out << (encoding == Encoding::MuLaw  ? ulaw_to_linear(quint8(byte))
                : encoding == Encoding::ALaw ? alaw_to_linear(quint8(byte))
                                             : (quint8(byte) - 128) * 256);
    return out;
}

double goertzel(const QList<double>& samples, qsizetype from, qsizetype count, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / 8000);
    double s1 = 0, s2 = 0;
    for (qsizetype i = from; i < from + count && i < samples.size(); ++i) {
        const double s0 = samples[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

} // namespace

// Each row: a tone in one format, and the frequencies it must hold in order, with their times;
// read back by a Goertzel filter over 10 ms blocks, and each frequency by its peak.
void TestVoice::tonesByTheirFrequencies_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<bool>("fax");
    QTest::addColumn<QList<double>>("hz");
    QTest::addColumn<QList<int>>("ms");
    const QList<double> sit{985.2, 1370.6, 1776.7};
    const QList<int> sitMs{380, 274, 380};
    QTest::newRow("vacant code, 8-bit linear") << int(Encoding::Linear8) << false << sit << sitMs;
    QTest::newRow("vacant code, µ-law") << int(Encoding::MuLaw) << false << sit << sitMs;
    QTest::newRow("vacant code, A-law") << int(Encoding::ALaw) << false << sit << sitMs;
    QTest::newRow("vacant code, 16-bit") << int(Encoding::Linear16) << false << sit << sitMs;
    QTest::newRow("fax answer, 8-bit linear")
        << int(Encoding::Linear8) << true << QList<double>{2100} << QList<int>{3000};
}

void TestVoice::tonesByTheirFrequencies()
{
    QFETCH(int, encoding);
    QFETCH(bool, fax);
    QFETCH(QList<double>, hz);
    QFETCH(QList<int>, ms);
    const Encoding format = Encoding(encoding);
    const QList<double> samples =
        linear(fax ? VoiceTones::faxAnswer(format) : VoiceTones::vacantCode(format), format);
    // Which of the tones each block holds, as runs.
    QList<std::pair<int, int>> runs; // tone, blocks
    for (qsizetype at = 0; at + 80 <= samples.size(); at += 80) {
        int loudest = 0;
        for (int i = 1; i < hz.size(); ++i)
            if (goertzel(samples, at, 80, hz[i]) > goertzel(samples, at, 80, hz[loudest]))
                loudest = i;
        if (runs.isEmpty() || runs.last().first != loudest)
            runs.append({loudest, 0});
        ++runs.last().second;
    }
    QCOMPARE(runs.size(), hz.size());
    qsizetype start = 0;
    for (int i = 0; i < hz.size(); ++i) {
        QCOMPARE(runs[i].first, i);
        const int lasted = runs[i].second * 10;
        QVERIFY2(std::abs(lasted - ms[i]) <= ms[i] / 20 + 10, qPrintable(QString::number(lasted)));
        // The peak, over the middle of the run, within 0.5 %.
        const qsizetype from = start + 160;
        const qsizetype count = runs[i].second * 80 - 320;
        double best = 0, at = 0;
        for (double f = hz[i] * 0.98; f < hz[i] * 1.02; f += 0.25)
            if (const double power = goertzel(samples, from, count, f); power > best) {
                best = power;
                at = f;
            }
        QVERIFY2(std::abs(at - hz[i]) <= hz[i] * 0.005, qPrintable(QString::number(at)));
        start += runs[i].second * 80;
    }
}

QTEST_GUILESS_MAIN(TestVoice)
// Each row: a file written by libsndfile at some rate and channel count, 0.5 s of 440 Hz; read
// back as 8000 Hz mono, its length and its tone kept. Text that is no sound is refused.
void TestVoice::soundFilesComeToTheLinesRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("format");
    QTest::newRow("8 kHz mono WAV") << 8000 << 1 << int(SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    QTest::newRow("22.05 kHz mono WAV (espeak-ng's)")
        << 22050 << 1 << int(SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    QTest::newRow("44.1 kHz stereo FLAC") << 44100 << 2 << int(SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    QTest::newRow("not a sound file") << 0 << 0 << 0;
}

void TestVoice::soundFilesComeToTheLinesRate()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, format);
    QTemporaryDir folder;
    const QByteArray path = (folder.path() + "/sound").toLocal8Bit();
    if (rate == 0) {
        QFile text(QString::fromLocal8Bit(path));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello, not a sound\n");
    } else {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* file = sf_open(path.constData(), SFM_WRITE, &info);
        QVERIFY(file);
        std::vector<short> frames;
        for (int n = 0; n < rate / 2; ++n)
            for (int c = 0; c < channels; ++c)
                frames.push_back(short(12000 * std::sin(2 * M_PI * 440 * n / rate)));
        QCOMPARE(sf_writef_short(file, frames.data(), rate / 2), sf_count_t(rate / 2));
        sf_close(file);
    }
    QString error;
    const QList<qint16> samples = Announcement::read(QString::fromLocal8Bit(path), &error);
    if (rate == 0) {
        QVERIFY(samples.isEmpty());
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY2(std::abs(samples.size() - 4000) <= 8, qPrintable(QString::number(samples.size())));
    QList<double> line(samples.cbegin(), samples.cend());
    const double tone = goertzel(line, 1000, 2000, 440);
    QVERIFY(tone > 1000 * goertzel(line, 1000, 2000, 1000));
    QVERIFY(tone > 1000 * goertzel(line, 1000, 2000, 300));
}

#include "tst_voice.moc"

#include "voice/Announcement.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int lineRate = 8000;

} // namespace

QList<qint16> Announcement::read(const QString& path, QString* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        *error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return {};
    }
    const sf_count_t wanted =
        std::min<sf_count_t>(info.frames, sf_count_t(info.samplerate) * mostSeconds);
    std::vector<float> frames(size_t(std::max<sf_count_t>(wanted, 0)) * size_t(info.channels));
    const sf_count_t got = sf_readf_float(file, frames.data(), wanted);
    sf_close(file);
    if (got <= 0 || info.channels <= 0 || info.samplerate <= 0) {
        *error = QStringLiteral("no sound in it");
        return {};
    }

    std::vector<float> mono(static_cast<size_t>(got));
    for (sf_count_t frame = 0; frame < got; ++frame) {
        float sum = 0;
        for (int channel = 0; channel < info.channels; ++channel)
            sum += frames[size_t(frame * info.channels + channel)];
        mono[size_t(frame)] = sum / float(info.channels);
    }

    std::vector<float> line = mono;
    if (info.samplerate != lineRate) {
        const double ratio = double(lineRate) / info.samplerate;
        line.assign(size_t(std::ceil(double(got) * ratio)) + 1, 0.0f);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = long(mono.size());
        data.data_out = line.data();
        data.output_frames = long(line.size());
        data.src_ratio = ratio;
        if (const int failed = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1); failed != 0) {
            *error = QString::fromLatin1(src_strerror(failed));
            return {};
        }
        line.resize(size_t(data.output_frames_gen));
    }

    QList<qint16> samples;
    samples.reserve(qsizetype(line.size()));
    for (float value : line)
        samples.append(qint16(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f)));
    return samples;
}

double Announcement::seconds(const QString& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.samplerate > 0 ? double(info.frames) / info.samplerate : -1;
}

namespace {

// What the line says, by language: the announcement, the greeting, the human check's question
// (%1 the key) and its thanks. English first, for a language that has no row of its own.
struct Words
{
    const char* language;
    const char* announcement;
    const char* greeting;
    const char* check;
    const char* checked;
};
constexpr Words spoken[] = {
    {"en", "The number you have reached is not in service.",
     "Nobody can take your call. Please leave a message after the tone.", "Press %1 to reach us.",
     "Thank you. You can call again now. Please leave a message after the tone."},
    {"de", "Die gewählte Rufnummer ist nicht vergeben.",
     "Niemand kann Ihren Anruf entgegennehmen. Bitte sprechen Sie nach dem Ton.",
     "Drücken Sie die %1, um uns zu erreichen.",
     "Danke. Sie können uns jetzt wieder anrufen. Bitte sprechen Sie nach dem Ton."},
    {"es", "El número al que ha llamado no está en servicio.",
     "Nadie puede atender su llamada. Por favor, deje un mensaje después del tono.",
     "Pulse %1 para comunicarse con nosotros.",
     "Gracias. Ya puede volver a llamar. Deje un mensaje después del tono."},
    {"fr", "Le numéro que vous avez demandé n'est pas en service.",
     "Personne ne peut prendre votre appel. Laissez un message après le bip.",
     "Appuyez sur %1 pour nous joindre.",
     "Merci. Vous pouvez nous rappeler maintenant. Laissez un message après le bip."},
    {"it", "Il numero selezionato non è in servizio.",
     "Nessuno può rispondere. Lasciate un messaggio dopo il segnale.",
     "Premete %1 per parlare con noi.",
     "Grazie. Ora potete richiamare. Lasciate un messaggio dopo il segnale."},
    {"nl", "Het nummer dat u hebt gekozen is niet in gebruik.",
     "Niemand kan uw oproep aannemen. Spreek een bericht in na de toon.",
     "Druk op %1 om ons te bereiken.",
     "Dank u. U kunt ons nu weer bellen. Spreek een bericht in na de toon."},
    {"pt", "O número para o qual ligou não está em serviço.",
     "Ninguém pode atender a sua chamada. Deixe uma mensagem após o sinal.",
     "Prima %1 para falar connosco.",
     "Obrigado. Já pode voltar a ligar. Deixe uma mensagem após o sinal."},
};

const Words& wordsIn(const QString& language)
{
    for (const Words& words : spoken)
        if (language == QLatin1String(words.language))
            return words;
    return spoken[0];
}

} // namespace

QString Announcement::defaultText(const QString& language)
{
    return QString::fromUtf8(wordsIn(language).announcement);
}

QString Announcement::greetingText(const QString& language)
{
    return QString::fromUtf8(wordsIn(language).greeting);
}

QString Announcement::checkText(const QString& language, QChar key)
{
    return QString::fromUtf8(wordsIn(language).check).arg(key);
}

QString Announcement::checkedText(const QString& language)
{
    return QString::fromUtf8(wordsIn(language).checked);
}

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

QString Announcement::defaultText(const QString& language)
{
    static const std::pair<const char*, const char*> texts[] = {
        {"de", "Die gewählte Rufnummer ist nicht vergeben."},
        {"es", "El número al que ha llamado no está en servicio."},
        {"fr", "Le numéro que vous avez demandé n'est pas en service."},
        {"it", "Il numero selezionato non è in servizio."},
        {"nl", "Het nummer dat u hebt gekozen is niet in gebruik."},
        {"pt", "O número para o qual ligou não está em serviço."},
    };
    for (const auto& [code, text] : texts)
        if (language == QLatin1String(code))
            return QString::fromUtf8(text);
    return QStringLiteral("The number you have reached is not in service.");
}

QString Announcement::greetingText(const QString& language)
{
    static const std::pair<const char*, const char*> texts[] = {
        {"de", "Niemand kann Ihren Anruf entgegennehmen. Bitte sprechen Sie nach dem Ton."},
        {"es", "Nadie puede atender su llamada. Por favor, deje un mensaje después del tono."},
        {"fr", "Personne ne peut prendre votre appel. Laissez un message après le bip."},
        {"it", "Nessuno può rispondere. Lasciate un messaggio dopo il segnale."},
        {"nl", "Niemand kan uw oproep aannemen. Spreek een bericht in na de toon."},
        {"pt", "Ninguém pode atender a sua chamada. Deixe uma mensagem após o sinal."},
    };
    for (const auto& [code, text] : texts)
        if (language == QLatin1String(code))
            return QString::fromUtf8(text);
    return QStringLiteral("Nobody can take your call. Please leave a message after the tone.");
}

#pragma once

#include "voice/VoiceModem.h"

#include <QObject>
#include <QStringList>
#include <optional>

class ModemControl;

// Asks a modem just set up for caller ID what voice it has, on the one command queue: ATI0 and
// ATI3 for the model, AT+FCLASS=? for the voice class, AT+VSM=? for the formats. Each step is a
// reply; a call's lines may come between them. One event line says what was found.
class VoiceProbe : public QObject
{
    Q_OBJECT
public:
    struct Voice
    {
        VoiceModem::Model model;
        VoiceModem::Format format;
    };

    explicit VoiceProbe(ModemControl& modem, QObject* parent = nullptr);

    // `formatCode`: the [Voice] Format to use instead of the one chosen (-1: choose);
    // `quirks`: the [Voice] Quirks, on top of the model's own.
    void start(int formatCode, const VoiceModem::Quirks& quirks);
    void stop();
    // The voice found; none before the questions end, and for a modem without one.
    const std::optional<Voice>& voice() const { return m_voice; }

signals:
    void eventLine(const QString& line);
    void finished();

private:
    void ask(const QString& command, void (VoiceProbe::*next)(const QStringList& lines));
    void gotModel(const QStringList& lines);
    void gotInfo(const QStringList& lines);
    void gotClasses(const QStringList& lines);
    void gotFormats(const QStringList& lines);
    void end(const QString& line, bool found = false);

    ModemControl& m_modem;
    int m_formatCode = -1;
    VoiceModem::Quirks m_quirks;
    QString m_ati0;
    Voice m_asking; // what is known so far
    std::optional<Voice> m_voice;
};

#include "voice/VoiceProbe.h"

#include "modem/ModemControl.h"

VoiceProbe::VoiceProbe(ModemControl& modem, QObject* parent) : QObject(parent), m_modem(modem) {}

void VoiceProbe::start(int formatCode, const VoiceModem::Quirks& quirks)
{
    stop();
    m_formatCode = formatCode;
    m_quirks = quirks;
    m_ati0.clear();
    m_voice.reset();
    ask(QStringLiteral("ATI0"), &VoiceProbe::gotModel);
}

void VoiceProbe::stop()
{
    m_modem.cancel(this);
    m_voice.reset();
}

void VoiceProbe::ask(const QString& command, void (VoiceProbe::*next)(const QStringList& lines))
{
    // An error is an answer too: a modem that does not know ATI0 or ATI3 is still asked on.
    m_modem.ask(command, this,
                [this, next](CommandExchange::Reply reply, const QStringList& lines) {
                    if (reply == CommandExchange::Reply::TimedOut ||
                        reply == CommandExchange::Reply::LineClosed)
                        return end(QStringLiteral("[Modem on %1 did not say whether it has a voice "
                                                  "mode]")
                                       .arg(m_modem.device()));
                    (this->*next)(reply == CommandExchange::Reply::Ok ? lines : QStringList());
                });
}

void VoiceProbe::gotModel(const QStringList& lines)
{
    m_ati0 = lines.join(u' ');
    ask(QStringLiteral("ATI3"), &VoiceProbe::gotInfo);
}

void VoiceProbe::gotInfo(const QStringList& lines)
{
    Voice voice;
    voice.model = VoiceModem::model(m_ati0, lines.join(u' '));
    VoiceModem::addQuirks(&voice.model.quirks, m_quirks);
    m_asking = voice;
    ask(QStringLiteral("AT+FCLASS=?"), &VoiceProbe::gotClasses);
}

void VoiceProbe::gotClasses(const QStringList& lines)
{
    if (!VoiceModem::hasVoice(lines))
        return end(QStringLiteral("[Modem on %1 has no voice mode]").arg(m_modem.device()));
    ask(QStringLiteral("AT+VSM=?"), &VoiceProbe::gotFormats);
}

void VoiceProbe::gotFormats(const QStringList& lines)
{
    const QList<VoiceModem::Format> formats = VoiceModem::formats(lines);
    std::optional<VoiceModem::Format> chosen;
    if (m_formatCode >= 0) {
        for (const VoiceModem::Format& format : formats)
            if (format.code == m_formatCode)
                chosen = format;
        if (!chosen)
            return end(QStringLiteral("[Modem on %1 has no voice format %2 ([Voice] Format); its "
                                      "voice is not used]")
                           .arg(m_modem.device())
                           .arg(m_formatCode));
    } else {
        chosen = VoiceModem::choose(formats);
    }
    if (!chosen)
        return end(QStringLiteral("[Modem on %1 has a voice mode, but none of its formats is one "
                                  "to play: 8-bit linear, µ-law, A-law or 16-bit linear at 8000 "
                                  "Hz]")
                       .arg(m_modem.device()));
    m_asking.format = *chosen;
    const QString model = m_asking.model.name.isEmpty()
                              ? QString()
                              : QStringLiteral(" (%1)").arg(m_asking.model.name);
    end(QStringLiteral("[Modem on %1%2 has a voice mode: %3]")
            .arg(m_modem.device(), model, VoiceModem::describe(chosen.value())),
        true);
}

void VoiceProbe::end(const QString& line, bool found)
{
    if (found)
        m_voice = m_asking;
    else
        m_voice.reset();
    emit eventLine(line);
    emit finished();
}

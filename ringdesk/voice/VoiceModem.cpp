#include "voice/VoiceModem.h"

#include "common/SettingsTable.h"

#include <QRegularExpression>
#include <iterator>

namespace VoiceModem {

namespace {

// The fields of one line of AT+VSM=?, split at commas outside quotes and parentheses.
QStringList fields(const QString& line)
{
    QStringList out;
    QString field;
    bool quoted = false;
    int depth = 0;
    for (const QChar c : line) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u'(')
            ++depth;
        else if (!quoted && c == u')')
            depth = qMax(0, depth - 1);
        if (c == u',' && !quoted && depth == 0) {
            out << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.trimmed();
    return out;
}

// "8000", "(7200,8000,11025)" or "7200-11025": the rates given, a range as its two ends and 8000
// when it lies within.
QList<int> rates(const QString& field)
{
    QList<int> out;
    static const QRegularExpression range(QStringLiteral("(\\d+)\\s*-\\s*(\\d+)"));
    if (const auto match = range.match(field); match.hasMatch()) {
        const int low = match.captured(1).toInt();
        const int high = match.captured(2).toInt();
        out << low << high;
        if (low < 8000 && 8000 < high)
            out << 8000;
        return out;
    }
    static const QRegularExpression number(QStringLiteral("\\d+"));
    for (auto it = number.globalMatch(field); it.hasNext();)
        out << it.next().captured().toInt();
    return out;
}

Encoding encodingOf(const QString& name, int bits)
{
    const QString upper = name.toUpper();
    if (upper.contains(QLatin1String("ADPCM")))
        return Encoding::Other;
    if (upper.contains(QLatin1String("ULAW")) || upper.contains(QLatin1String("U-LAW")) ||
        upper.contains(QLatin1String("MU-LAW")) || upper.contains(QStringLiteral("µ")))
        return Encoding::MuLaw;
    if (upper.contains(QLatin1String("ALAW")) || upper.contains(QLatin1String("A-LAW")))
        return Encoding::ALaw;
    const bool linear =
        upper.contains(QLatin1String("LINEAR")) || upper.contains(QLatin1String("PCM"));
    const bool isSigned =
        upper.contains(QLatin1String("SIGNED")) && !upper.contains(QLatin1String("UNSIGNED"));
    if (linear && bits == 8 && !isSigned)
        return Encoding::Linear8;
    if (linear && bits == 16)
        return Encoding::Linear16;
    return Encoding::Other;
}

} // namespace

bool hasVoice(const QStringList& answer)
{
    static const QRegularExpression classes(QStringLiteral("[\\d.]+"));
    for (const QString& line : answer)
        for (auto it = classes.globalMatch(line); it.hasNext();)
            if (it.next().captured() == QLatin1String("8"))
                return true;
    return false;
}

QList<Format> formats(const QStringList& answer)
{
    QList<Format> out;
    for (const QString& line : answer) {
        const QStringList parts = fields(line);
        bool ok = false;
        const int code = parts.value(0).toInt(&ok);
        if (!ok || parts.size() < 3 || !parts.at(1).startsWith(u'"'))
            continue;
        Format format;
        format.code = code;
        format.name = parts.at(1).mid(1).chopped(parts.at(1).endsWith(u'"') ? 1 : 0);
        format.bits = parts.at(2).toInt();
        format.rates = rates(parts.value(4));
        format.encoding = encodingOf(format.name, format.bits);
        out << format;
    }
    return out;
}

std::optional<Format> choose(const QList<Format>& formats)
{
    for (const Encoding wanted :
         {Encoding::Linear8, Encoding::MuLaw, Encoding::ALaw, Encoding::Linear16})
        for (const Format& format : formats)
            if (format.encoding == wanted &&
                (format.rates.isEmpty() || format.rates.contains(8000)))
                return format;
    return std::nullopt;
}

Model model(const QString& ati0, const QString& ati3)
{
    const QString zero = ati0.trimmed();
    const QString both = ati0 + u' ' + ati3;
    Model found;
    if (zero == QLatin1String("5601")) {
        found.name = QStringLiteral("U.S. Robotics 5637");
        found.quirks.offHookAfterLineUp = true;
    } else if (zero == QLatin1String("56000")) {
        found.name = QStringLiteral("Conexant");
        found.quirks.noSilenceReports = true;
        found.quirks.extendedVsm = true;
    } else if (both.contains(QLatin1String("MT9234MU"))) {
        found.name = QStringLiteral("MultiTech MT9234MU");
    } else if (both.contains(QLatin1String("Agere"), Qt::CaseInsensitive) ||
               both.contains(QLatin1String("Lucent"), Qt::CaseInsensitive)) {
        found.name = QStringLiteral("Agere/Lucent");
    }
    return found;
}

QString formatCommand(const Format& format, const Quirks& quirks)
{
    return quirks.extendedVsm ? QStringLiteral("AT+VSM=%1,8000,0,0").arg(format.code)
                              : QStringLiteral("AT+VSM=%1,8000").arg(format.code);
}

QString describe(const Format& format)
{
    switch (format.encoding) {
    case Encoding::Linear8:
        return QStringLiteral("8-bit linear at 8000 Hz");
    case Encoding::MuLaw:
        return QStringLiteral("µ-law at 8000 Hz");
    case Encoding::ALaw:
        return QStringLiteral("A-law at 8000 Hz");
    case Encoding::Linear16:
        return QStringLiteral("16-bit linear at 8000 Hz");
    case Encoding::Other:
        break;
    }
    return format.name;
}

namespace {

// In the order of the names the settings know.
bool Quirks::*const quirkFlags[] = {&Quirks::tripledEnds, &Quirks::noSilenceReports,
                                    &Quirks::offHookAfterLineUp, &Quirks::ringsAsEvents,
                                    &Quirks::extendedVsm};
static_assert(std::size(quirkFlags) == 5);

} // namespace

void addQuirks(Quirks* to, const Quirks& from)
{
    for (bool Quirks::*flag : quirkFlags)
        to->*flag = to->*flag || from.*flag;
}

bool applyQuirks(const QString& text, Quirks* quirks, QString* unknown)
{
    const auto& flags = quirkFlags;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString& word : text.toLower().split(separators, Qt::SkipEmptyParts)) {
        const qsizetype at = Settings::VoiceQuirkNames.indexOf(word);
        if (at < 0 || at >= qsizetype(std::size(flags))) {
            *unknown = word;
            return false;
        }
        quirks->*flags[at] = true;
    }
    return true;
}

} // namespace VoiceModem

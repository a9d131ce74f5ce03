#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What a voice modem can do, from its answers: whether it has a voice mode (a class 8 in
// AT+FCLASS=?), the sample formats AT+VSM=? lists and the one to use, and the model, known by
// its ATI0 or ATI3 answer, with the ways it differs from the document.
namespace VoiceModem {

enum class Encoding
{
    Linear8, // unsigned 8-bit, silence at 0x80
    MuLaw,
    ALaw,
    Linear16, // signed 16-bit, little-endian
    Other
};

struct Format
{
    int code = 0;
    QString name;
    int bits = 0;
    QList<int> rates;
    Encoding encoding = Encoding::Other;
};

// The ways a model differs from the document; each can also be set by [Voice] Quirks.
struct Quirks
{
    bool tripledEnds = false;        // ends VTX and VRX only with <DLE><DLE><DLE>
    bool noSilenceReports = false;   // accepts AT+VSD and never reports silence
    bool offHookAfterLineUp = false; // sends <DLE>H right after AT+VLS=1: not a hang-up
    bool ringsAsEvents = false;      // in voice mode, rings come as <DLE>R
    bool extendedVsm = false;        // AT+VSM takes four values ("1,8000,0,0")
};

struct Model
{
    QString name; // "" when not known
    Quirks quirks;
};

// True when the answer to AT+FCLASS=? lists class 8.
bool hasVoice(const QStringList& answer);
// The formats of the answer to AT+VSM=?, in its order; lines that are none are left out.
QList<Format> formats(const QStringList& answer);
// The format to play and record in: 8-bit linear, then µ-law, then A-law, then 16-bit linear,
// each at 8000 Hz; none when the modem has none of them.
std::optional<Format> choose(const QList<Format>& formats);
// The model whose ATI0 or ATI3 answer this is.
Model model(const QString& ati0, const QString& ati3);
// The command that sets `format` at 8000 Hz.
QString formatCommand(const Format& format, const Quirks& quirks);
// How the event list names a format: "8-bit linear at 8000 Hz".
QString describe(const Format& format);

// [Voice] Quirks: words such as "tripled-ends, no-silence" switch quirks on; false, and the word
// it does not know, for a text it cannot read.
bool applyQuirks(const QString& text, Quirks* quirks, QString* unknown);
// The quirks `from` has switched on are switched on in `to` as well.
void addQuirks(Quirks* to, const Quirks& from);

} // namespace VoiceModem

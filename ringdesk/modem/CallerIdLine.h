#pragma once

#include <QString>

// Pure helpers for reading one caller-ID line of the modem.
namespace CallerIdLine {

// The value of a DATE, TIME, NMBR, NAME or MESG line: whatever follows the first "=" after the
// keyword, blanks after the "=" skipped, nothing trimmed at the end. No "=" gives an empty value.
// Cleaned as all text from outside is: a NUL, ESC or the like in caller text would cut or
// corrupt the contact, journal entry and log that the value ends up in.
QString value(const QString& line);

// The digits carried by a MESG value (hexadecimal text: a type byte, a count byte, then the data
// bytes, of which each one's second character is kept). Empty digits when the count is not
// hexadecimal; no number at all (hasNumber false) when the count is 1, a message without one.
struct MesgDigits
{
    bool hasNumber = false;
    QString digits;
};
MesgDigits decodeMesg(const QString& value);

// "MM/DD" and "HH:MM" from the first four characters of a DATE or TIME value.
QString dateText(const QString& value);
QString timeText(const QString& value);

} // namespace CallerIdLine

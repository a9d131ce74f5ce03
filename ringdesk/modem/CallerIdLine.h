#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Pure helpers for reading one caller-ID line of the modem.
namespace CallerIdLine {

// The value of a DATE, TIME, NMBR, NAME or MESG line: whatever follows the first "=" after the
// keyword, blanks after the "=" skipped, nothing trimmed at the end. No "=" gives an empty value.
// Cleaned as all text from outside is: a NUL, ESC or the like in caller text would cut or
// corrupt the contact, journal entry and log that the value ends up in.
QString value(const QString& line);

// The fields of one line, each as a line of its own: modems put two fields on one line
// ("NMBR = 6135551234 NAME = DOE JOHN"), glue the rings to the next line ("RINGDATE = 0321",
// "RING RING DATE=0224") or a field to the value before it ("NAME=ONMBR=5072884388").
// A line that starts with no field is one field, as it came.
QStringList fields(const QString& line);

// The digits carried by a MESG value (hexadecimal text: a type byte, a count byte, then the data
// bytes, of which each one's second character is kept). Empty digits when the count is not
// hexadecimal; no number at all (hasNumber false) when the count is 1, a message without one.
struct MesgDigits
{
    bool hasNumber = false;
    QString digits;
};
MesgDigits decodeMesg(const QString& value);

// One parameter of a caller-ID message: its type and its data bytes.
struct Parameter
{
    enum Type
    {
        DateTime = 0x01,       // MMDDHHMM
        Number = 0x02,         // the calling number
        DialableNumber = 0x03, // the number in the form it is dialled back
        NumberAbsent = 0x04,   // "P" private, "O" out of area
        Name = 0x07,
        NameAbsent = 0x08, // "P" or "O"
    };
    int type = 0;
    QByteArray data;
};
// The parameter a MESG value holds: hexadecimal text of its type, its length and its data.
Parameter mesgParameter(const QString& value);
// A whole message sent unformatted, as hexadecimal text: the single-message format (type 04:
// date, time and number, or "P"/"O") or the multiple-message one (type 80: parameters). The
// checksum is not checked, as the modem already did; nothing when the line is no such message.
std::optional<QList<Parameter>> packet(const QString& line);

// "MM/DD" from a DATE value: four digits are MMDD; six are MMDDYY, or YYMMDD where only that
// reads as a date; eight (date and time on one line) start with MMDD. Empty when the value holds
// no digits, so the computer's clock stands in; other values as their first four characters.
QString dateText(const QString& value);
// "HH:MM" from a TIME value, or from the last four of eight digits of a DATE value; empty when
// there is none.
QString timeText(const QString& value);
// The time in a DATE value holding date and time, or nothing.
QString timeInDate(const QString& value);

} // namespace CallerIdLine

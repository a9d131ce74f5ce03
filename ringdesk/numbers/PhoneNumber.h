#pragma once

#include <QString>

// Number layout and name splitting for caller-ID texts. Both work on characters by position and
// count alone, never on what the characters are, and cannot fail on any input.
namespace PhoneNumber {

// The North American display form of a bare digit string: 7 characters get the area code in
// parentheses, 10 get "+1 ", 11 take their first character as the country code; shorter texts
// are kept as they are.
QString FormatPhoneNumber(const QString& Mesg, const QString& AreaCode);

struct Names
{
    QString last;
    QString first;
};
// The first word is the last name, the rest after the first space the first name (caller-ID
// services send names surname first); trailing spaces are removed from both.
Names GetFirstLastName(const QString& name);

// The international and national forms of a displayed number, so that a contact stored with
// either is found. 14 characters is the length of "(613) 555-1234".
QString SearchNumberWithPrefix(const QString& number);
QString SearchNumberWithoutPrefix(const QString& number);

} // namespace PhoneNumber

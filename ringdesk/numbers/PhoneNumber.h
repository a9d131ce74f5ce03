#pragma once

#include <QString>

// Telephone numbers: the layout of caller-ID digits for display, and the comparing of numbers as
// numbers. The layout works on characters by position and count alone, never on what the
// characters are, and cannot fail on any input.
namespace PhoneNumber {

// The North American display form of a bare digit string: 7 characters get the area code in
// parentheses, 10 get "+1 ", 11 take their first character as the country code; shorter texts
// are kept as they are.
QString FormatPhoneNumber(const QString& Mesg, const QString& AreaCode);

// The international and national forms of a displayed number, so that a contact stored with
// either is found. 14 characters is the length of "(613) 555-1234".
QString SearchNumberWithPrefix(const QString& number);
QString SearchNumberWithoutPrefix(const QString& number);

// The digits of a text, nothing else.
QString digits(const QString& text);
// The digits that identify a telephone number: an extension ("x22", "ext. 22", ";ext=22",
// "#22") cut off, a leading 1 of an eleven-digit number dropped, and a seven-digit number
// preceded by the area code. "+1 (613) 555-0144 x22", "tel:+1-613-555-0144;ext=12" and, with
// area code 613, "555-0144" all give 6135550144.
QString comparable(const QString& number, const QString& areaCode);

} // namespace PhoneNumber

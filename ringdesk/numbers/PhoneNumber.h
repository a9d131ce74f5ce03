#pragma once

#include <QString>

// Telephone numbers: the layout of caller-ID digits for display, and the comparing of numbers as
// numbers. The layout works on characters by position and count alone, never on what the
// characters are, and cannot fail on any input.
namespace PhoneNumber {

// The North American display form of a bare digit string: 7 characters get the area code in
// parentheses, 10 get "+1 ", 11 take their first character as the country code; shorter texts
// are kept as they are.
QString formatNumber(const QString& text, const QString& areaCode);

// The international and national forms of a displayed number, so that a contact stored with
// either is found. 14 characters is the length of "(613) 555-1234".
QString searchNumberWithPrefix(const QString& number);
QString searchNumberWithoutPrefix(const QString& number);

// The digits of a text, nothing else.
QString digits(const QString& text);
// Whether a text is written as a number: ASCII digits and the punctuation numbers are written
// with (blanks, parentheses, dots, slashes, dashes), a "+" only in front.
bool writtenAsNumber(const QString& text);

} // namespace PhoneNumber

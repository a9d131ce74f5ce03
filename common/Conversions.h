#pragma once

#include <QString>
#include <optional>

// How the programs turn stored setting texts into numbers and truth values, and back.
namespace Conversions {

// A whole text that is a decimal number (blanks around it allowed), rounded to the nearest
// integer with halves going to the even neighbour; nothing when the text is not a number or the
// result does not fit in 16 bits.
std::optional<qint16> toInt16(const QString& text);

// "True"/"False" in any letter case, or a number (0 is false, anything else true).
std::optional<bool> toTruth(const QString& text);

// The whole text read as a decimal number; nothing when it is not one.
std::optional<double> toNumber(const QString& text);

// Exact numeric equality of a stored text with a value; a text that is not a number equals nothing.
bool numericEquals(const QString& text, double value);

// The number at the start of a typed text: blanks, tabs and line feeds are skipped wherever they
// stand, then an optional sign, digits, a decimal point and an exponent are taken up to the first
// character that does not fit. No leading number (or one too large for a double) gives 0.
double leadingNumber(const QString& text);

// The shortest decimal text that reads back as the same value: 12, 2.5, 0, -3, 100.
QString shortestDecimal(double value);

// "True" or "False", as truth values are stored.
QString truthText(bool value);

} // namespace Conversions

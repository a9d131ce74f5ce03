#pragma once

#include <QString>

// The filter texts handed to the address-book search. Values come from caller-ID text, which
// whoever places the call chooses, so a double quote inside a value is doubled and can never end
// the value early or add a term of its own.
namespace ContactFilters {

QString quoted(const QString& value);

QString nameAndNumber(const QString& last, const QString& first, const QString& number); // F1, F2
QString nameOnly(const QString& last, const QString& first);                             // F3
QString numberOnly(const QString& number);                                               // F4, F5

} // namespace ContactFilters

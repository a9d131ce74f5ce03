#include "calls/ContactFilters.h"

namespace ContactFilters {

QString quoted(const QString& value)
{
    QString text = value;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString nameOnly(const QString& last, const QString& first)
{
    return QStringLiteral("[LastName] = ") + quoted(last) + QStringLiteral(" and [FirstName]=") +
           quoted(first);
}

QString nameAndNumber(const QString& last, const QString& first, const QString& number)
{
    return nameOnly(last, first) + QStringLiteral(" and ") + numberOnly(number);
}

QString numberOnly(const QString& number)
{
    return QStringLiteral("[BusinessTelephoneNumber] = ") + quoted(number);
}

} // namespace ContactFilters

#include "calls/NoContacts.h"

std::optional<FoundContact> NoContacts::find(const ContactQuery&, const QString&, const QString&)
{
    emit eventLine(QStringLiteral("[Opening Outlook Contact...]"));
    emit eventLine(QStringLiteral("[Couldn't find it!]"));
    return std::nullopt;
}

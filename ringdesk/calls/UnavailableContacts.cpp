#include "calls/UnavailableContacts.h"

#include "state/MonitorState.h"

void UnavailableContacts::SearchInContact(const QString&)
{
    m_state.appendEvent(QStringLiteral("[Opening Outlook Contact...]"));
    m_state.appendEvent(QStringLiteral("[Couldn't find it!]"));
    m_state.ContactFound = 0;
}

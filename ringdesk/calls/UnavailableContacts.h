#pragma once

#include "calls/ContactLink.h"

class MonitorState;

// The address book as seen while none can be reached: every search finds nothing and says so,
// and nothing is created.
class UnavailableContacts : public ContactLink
{
public:
    explicit UnavailableContacts(MonitorState& state) : m_state(state) {}

    void SearchInContact(const QString& StringToParse) override;
    void CreateContact(const QString&) override {}
    void CreateJournal(const QString&) override {}

private:
    MonitorState& m_state;
};

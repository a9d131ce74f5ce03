#pragma once

#include "calls/CallerContacts.h"

// The address book as seen while none can be reached: every search finds nothing and says so,
// and nothing is created.
class NoContacts : public CallerContacts
{
    Q_OBJECT
public:
    using CallerContacts::CallerContacts;

    std::optional<FoundContact> find(const ContactQuery&, const QString&, const QString&) override;
    void createContact(NewFor, const QString&, const QString&) override {}
    void createJournal(bool, const QString&, const QString&, const QString&) override {}
};

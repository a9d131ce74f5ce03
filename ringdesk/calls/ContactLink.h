#pragma once

#include <QString>

// The address-book operations that call processing needs. An implementation reports its progress
// in the event list and leaves its result in the monitor state (ContactFound, the caller names and
// company), as a search in the address book does.
class ContactLink
{
public:
    virtual ~ContactLink() = default;

    // Searches with a filter text such as [LastName] = "SMITH" and [FirstName]="JOHN".
    virtual void SearchInContact(const QString& StringToParse) = 0;
    // ForWhat is "Name", "Company" or empty (an empty item for the user to fill in).
    virtual void CreateContact(const QString& ForWhat) = 0;
    virtual void CreateJournal(const QString& ForWhat) = 0;
};

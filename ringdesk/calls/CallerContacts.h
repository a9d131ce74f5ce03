#pragma once

#include "addressbook/AddressBookItem.h"
#include "addressbook/ContactQuery.h"

#include <QObject>
#include <memory>
#include <optional>

// A contact the address book found for a caller.
struct FoundContact
{
    std::shared_ptr<AddressBookItem> item;
    QString firstName;
    QString lastName;
    QString company;
};

// The address book as call handling uses it: a search that opens the contact it finds, a new
// contact, a new journal entry. Each says how it goes in lines for the event list.
class CallerContacts : public QObject
{
    Q_OBJECT
public:
    // What a new contact is made for: a person's name, a company, or nothing (an empty card).
    enum class NewFor
    {
        Name,
        Company,
        Nothing
    };

    using QObject::QObject;

    // `shownName` and `shownNumber` are the caller as the window shows them.
    virtual std::optional<FoundContact> find(const ContactQuery& query, const QString& shownName,
                                             const QString& shownNumber) = 0;
    virtual void createContact(NewFor what, const QString& name, const QString& number) = 0;
    // For a caller, with the names and company of the contact found; empty otherwise.
    virtual void createJournal(bool forCaller, const QString& contactNames,
                               const QString& callerName, const QString& company) = 0;
    // The address book did not answer the last search: the caller may be in it all the same.
    virtual bool unanswered() const { return false; }

signals:
    void eventLine(const QString& line);
};

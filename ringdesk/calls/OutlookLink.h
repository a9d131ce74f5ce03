#pragma once

#include "addressbook/AddressBook.h"
#include "calls/ContactLink.h"

class MonitorState;

// The call handling's way into the address book: searches that open the contact found, new
// contacts and journal entries, and the searches the user starts by hand. Progress goes to the
// event list; the result to ContactFound, the caller names and company.
class OutlookLink : public ContactLink
{
public:
    OutlookLink(MonitorState& state, AddressBook& book) : m_state(state), m_book(book) {}

    void SearchInContact(const QString& StringToParse) override;
    void CreateContact(const QString& ForWhat) override;
    void CreateJournal(const QString& ForWhat) override;

    // The searches behind the two picture buttons. True when a contact was found; otherwise the
    // window offers to create one for offerText().
    bool SearchByNumber();
    bool SearchByName();
    QString offerText() const { return m_offer; }
    // A "Contact" or "Journal" the user asked for, which comes forward with the keyboard.
    void createForUser(const QString& what, const QString& ForWhat);

    std::shared_ptr<OutlookItem> CurrentItem;
    // The contact the last successful search found (CurrentItem may be a newer journal entry).
    std::shared_ptr<OutlookItem> lastFound;

private:
    MonitorState& m_state;
    AddressBook& m_book;
    QString m_offer;
    bool m_askedByUser = false; // the items shown now are the user's doing, not a call's
};

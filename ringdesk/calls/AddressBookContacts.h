#pragma once

#include "addressbook/AddressBook.h"
#include "calls/CallerContacts.h"

// The call handling's way into the address book, and the searches the user starts by hand:
// searches that open the contact found, new contacts and journal entries.
class AddressBookContacts : public CallerContacts
{
    Q_OBJECT
public:
    explicit AddressBookContacts(AddressBook& book, QObject* parent = nullptr)
        : CallerContacts(parent), m_book(book)
    {
    }

    // Reads numbers for comparing, laying out and storing.
    void setNumberPlan(const NumberPlan& plan) { m_plan = plan; }

    std::optional<FoundContact> find(const ContactQuery& query, const QString& shownName,
                                     const QString& shownNumber) override;
    void createContact(NewFor what, const QString& name, const QString& number) override;
    void createJournal(bool forCaller, const QString& contactNames, const QString& callerName,
                       const QString& company) override;

    // The searches behind the two search buttons. When nobody is found, the window offers to
    // create a contact for `offer`.
    struct HandSearch
    {
        bool found = false;
        QString offer;
        QString number; // the number as the window should show it now
    };
    // A bare number the user typed is laid out first.
    HandSearch searchByNumber(const QString& typed, const QString& shownName);
    // A person's name as typed (JOHN SMITH) or as caller ID sends it (SMITH JOHN), or a company.
    HandSearch searchByName(const QString& name, bool company, const QString& shownNumber);
    // A contact or journal entry the user asked for, which comes forward with the keyboard.
    void createContactForUser(NewFor what, const QString& name, const QString& number);
    void createJournalForUser();

    // The contact the last successful search found.
    std::shared_ptr<AddressBookItem> lastFound() const { return m_lastFound; }
    bool unanswered() const override { return m_unanswered; }
    // The item shown last: the contact found or made, or the journal entry made.
    std::shared_ptr<AddressBookItem> lastShown() const { return m_lastShown; }

private:
    void show(const std::shared_ptr<AddressBookItem>& item);

    AddressBook& m_book;
    NumberPlan m_plan{QStringLiteral("US")};
    std::shared_ptr<AddressBookItem> m_lastFound;
    bool m_unanswered = false;
    QString m_lastError; // said once, until a search goes well or fails otherwise
    std::shared_ptr<AddressBookItem> m_lastShown;
    bool m_askedByUser = false; // the items shown now are the user's doing, not a call's
};

#pragma once

#include "addressbook/ContactsFolder.h"
#include "addressbook/ItemViewer.h"

class DesktopContacts;

// The address book as one service, owned by the monitor (tests make their own): the contacts
// folder with its index, or the desktop's address books; new contacts and journal entries, and
// the viewer that opens items in windows. The folders follow the settings at each use.
class AddressBook
{
public:
    // Whether the address book can be used: the contacts folder exists or can be made, and can
    // be read and written. Why not, in *problem.
    static bool usable(QString* problem = nullptr);

    // The contacts folder is made when missing; its index is read on a worker thread.
    void warmUp();
    // Where contacts are kept, as [Contacts] Source says ("folder", "desktop" or "auto": the
    // desktop's when its service answers); the event line that says which is used and, where it
    // matters, how to choose the other.
    QString chooseSource();
    bool onDesktop() const { return m_desktop != nullptr; }
    // The country whose numbering plan reads the numbers on the cards.
    void setCountry(const QString& country) { m_country = country; }

    // The contacts folder as the settings name it, made when missing; false when it cannot be.
    bool openContacts(QString* problem = nullptr);
    // Nothing with an error when the folder cannot be made.
    ContactsFolder::Found findContact(const ContactQuery& query, const NumberPlan& plan);
    std::shared_ptr<AddressBookItem> newContact() const;
    std::shared_ptr<AddressBookItem> newJournal() const;

    // Opens the item's window, when there is a viewer.
    void display(const std::shared_ptr<AddressBookItem>& item, bool askedByUser);
    void setViewer(ItemViewer* viewer) { m_viewer = viewer; }

private:
    // The desktop's part, loaded once when it is first asked for; null where it is not
    // installed or its service does not answer.
    static DesktopContacts* loadDesktop(QString* problem);

    ContactsFolder m_contacts;
    DesktopContacts* m_desktop = nullptr;
    QString m_country = QStringLiteral("US");
    ItemViewer* m_viewer = nullptr;
};

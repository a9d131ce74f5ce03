#include "addressbook/AddressBook.h"

#include "common/AddressBookPaths.h"

bool AddressBook::openContacts(QString* problem)
{
    const QString path = AddressBookPaths::contactsFolder();
    if (!AddressBookPaths::ensureFolder(path)) {
        if (problem)
            *problem = QStringLiteral("cannot create the folder %1").arg(path);
        return false;
    }
    m_contacts.setPath(path);
    return true;
}

void AddressBook::warmUp()
{
    QString problem;
    if (openContacts(&problem))
        m_contacts.warmUp();
}

ContactsFolder::Found AddressBook::findContact(const QString& filter, const QString& areaCode)
{
    ContactsFolder::Found found;
    if (!openContacts(&found.error))
        return found;
    return m_contacts.find(filter, areaCode);
}

std::shared_ptr<ContactItem> AddressBook::newContact() const
{
    return std::make_shared<ContactItem>(AddressBookPaths::contactsFolder());
}

std::shared_ptr<JournalItem> AddressBook::newJournal() const
{
    return std::make_shared<JournalItem>(AddressBookPaths::journalFolder());
}

void AddressBook::display(const std::shared_ptr<OutlookItem>& item, bool askedByUser)
{
    if (m_viewer && item)
        m_viewer->show(item, askedByUser);
}

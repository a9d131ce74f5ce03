#include "addressbook/AddressBook.h"

#include "addressbook/AddressBookPaths.h"

#include <QFileInfo>

bool AddressBook::usable(QString* problem)
{
    const QString folder = AddressBookPaths::contactsFolder();
    const QFileInfo info(folder);
    if (AddressBookPaths::ensureFolder(folder) && info.isDir() && info.isReadable() &&
        info.isWritable())
        return true;
    if (problem)
        *problem =
            QStringLiteral("the contacts folder %1 cannot be made, read and written").arg(folder);
    return false;
}

bool AddressBook::openContacts(QString* problem)
{
    const QString path = AddressBookPaths::contactsFolder();
    if (!AddressBookPaths::ensureFolder(path)) {
        if (problem)
            *problem = QStringLiteral("cannot create the folder %1").arg(path);
        return false;
    }
    m_contacts.setPath(path, m_country);
    return true;
}

void AddressBook::warmUp()
{
    QString problem;
    if (openContacts(&problem))
        m_contacts.warmUp();
}

ContactsFolder::Found AddressBook::findContact(const ContactQuery& query, const NumberPlan& plan)
{
    ContactsFolder::Found found;
    m_country = plan.country();
    if (!openContacts(&found.error))
        return found;
    return m_contacts.find(query, plan);
}

std::shared_ptr<ContactItem> AddressBook::newContact() const
{
    return std::make_shared<ContactItem>(AddressBookPaths::contactsFolder());
}

std::shared_ptr<JournalItem> AddressBook::newJournal() const
{
    return std::make_shared<JournalItem>(AddressBookPaths::journalFolder());
}

void AddressBook::display(const std::shared_ptr<AddressBookItem>& item, bool askedByUser)
{
    if (m_viewer && item)
        m_viewer->show(item, askedByUser);
}

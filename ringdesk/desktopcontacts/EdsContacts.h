#pragma once

#include "addressbook/DesktopContacts.h"

#include <QObject>
#include <memory>

struct EdsBooks;

// The desktop's address books through Evolution Data Server's client libraries: contacts found
// in every enabled address book (by the service's index, then matched as the contacts folder
// matches them), made in the default one or the one named, and journal entries
// kept as memos in the default memo list. Each request is given 2 s; one that takes longer is
// cancelled, the connection dropped, and the next request connects again.
class EdsContacts : public QObject, public DesktopContacts
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DesktopContacts_iid)
    Q_INTERFACES(DesktopContacts)
public:
    EdsContacts();
    ~EdsContacts() override;

    bool connectBooks(QString* problem) override;
    QStringList bookNames() const override;
    ContactsFolder::Found find(const ContactQuery& query, const NumberPlan& plan) override;
    std::shared_ptr<AddressBookItem> newContact(const QString& bookName) override;
    std::shared_ptr<AddressBookItem> newJournal() override;

private:
    std::shared_ptr<EdsBooks> m_books;
};

#pragma once

#include "addressbook/ItemViewer.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class ContactWindow;
class ItemWindow;
class JournalWindow;

// Opens each displayed item in a window of its own: a contact card or a journal entry. One
// window per contact: a contact whose card is open already brings that window forward. At most
// one unsaved journal entry per contact: a new one takes the place of one the user has not
// touched, and one with the user's changes is brought forward and kept. A window a call opens
// is built once the event loop is back, after the call has reached the log.
class ItemWindows : public QObject, public ItemViewer
{
public:
    void show(const std::shared_ptr<AddressBookItem>& item, bool askedByUser) override;

    int contactWindows() const;
    int journalWindows() const;

    // The open windows whose items closing would lose.
    QList<ItemWindow*> unsaved() const;

private:
    void showNow(const std::shared_ptr<AddressBookItem>& item, bool askedByUser);

    QHash<QString, QPointer<ContactWindow>> m_contacts; // by file and UID
    QHash<QString, QPointer<JournalWindow>> m_journals; // by contact names, folded
};

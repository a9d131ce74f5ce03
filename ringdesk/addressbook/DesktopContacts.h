#pragma once

#include "addressbook/AddressBookItem.h"
#include "addressbook/ContactsFolder.h"

#include <QStringList>
#include <QtPlugin>
#include <memory>

// The desktop's own address books (GNOME's Evolution Data Server, synced with the user's online
// accounts), as a part loaded at run time: a desktop without that service installs nothing of
// it. Every call answers within a bounded time, however the service behaves; a failure is a
// result with its reason, and the next call tries the service again.
class DesktopContacts
{
public:
    virtual ~DesktopContacts() = default;

    // Connects to the service and its enabled address books; false, and why, when it does not
    // answer.
    virtual bool connectBooks(QString* problem) = 0;
    // The enabled address books, by the names the desktop shows.
    virtual QStringList bookNames() const = 0;
    // The first contact of any address book the query matches, as the contacts folder matches
    // it, and how many more do.
    virtual ContactsFolder::Found find(const ContactQuery& query, const NumberPlan& plan) = 0;
    // A new, unsaved contact for the address book of that name, or the default one.
    virtual std::shared_ptr<AddressBookItem> newContact(const QString& bookName) = 0;
    // A new, unsaved journal entry: a memo in the default memo list once saved.
    virtual std::shared_ptr<AddressBookItem> newJournal() = 0;
};

#define DesktopContacts_iid "io.github.ringwatch.ringdesk.DesktopContacts/1"
Q_DECLARE_INTERFACE(DesktopContacts, DesktopContacts_iid)

#pragma once

#include <QString>

// Where the address book lives: settings section "Contacts", keys "ContactsFolder" and
// "JournalFolder", by default contacts/ and journal/ in the per-user data folder of ringdesk.
namespace AddressBookPaths {

QString contactsFolder();
QString journalFolder();
// Creates the folder (readable by its owner only) when it does not exist yet.
bool ensureFolder(const QString& path);

} // namespace AddressBookPaths

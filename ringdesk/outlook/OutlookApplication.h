#pragma once

#include "ContactsFolder.h"

#include <optional>

// The address book's entry point, with the operations the call handling uses: new items, and
// the contacts folder through the "MAPI" namespace. Folders are looked up afresh on every call.
class OutlookApplication
{
public:
    // 2 gives a new contact, 4 a new journal entry, anything else nothing.
    std::shared_ptr<OutlookItem> CreateItem(int kind) const;

    class Namespace
    {
    public:
        // 10 is the contacts folder (created when missing); nothing for anything else or a
        // folder that cannot be made.
        std::optional<ContactsFolder> GetDefaultFolder(int folder) const;
    };
    // Only "MAPI" is known.
    std::optional<Namespace> GetNamespace(const QString& name) const;
};

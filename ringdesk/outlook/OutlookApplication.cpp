#include "OutlookApplication.h"

#include "AddressBookPaths.h"
#include "JournalItem.h"

std::shared_ptr<OutlookItem> OutlookApplication::CreateItem(int kind) const
{
    if (kind == OutlookItem::Contact)
        return std::make_shared<ContactItem>(AddressBookPaths::contactsFolder());
    if (kind == OutlookItem::Journal)
        return std::make_shared<JournalItem>(AddressBookPaths::journalFolder());
    return nullptr;
}

std::optional<OutlookApplication::Namespace>
OutlookApplication::GetNamespace(const QString& name) const
{
    if (name != QLatin1String("MAPI"))
        return std::nullopt;
    return Namespace();
}

std::optional<ContactsFolder> OutlookApplication::Namespace::GetDefaultFolder(int folder) const
{
    if (folder != 10)
        return std::nullopt;
    const QString path = AddressBookPaths::contactsFolder();
    if (!AddressBookPaths::ensureFolder(path))
        return std::nullopt;
    return ContactsFolder(path);
}

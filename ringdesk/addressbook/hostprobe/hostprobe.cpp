// The hostprobe library: tells ringdesk, which loads it at run time, whether the address book
// can be used: the contacts folder exists or can be made, and can be read and written.
#include "common/AddressBookPaths.h"

#include <QFileInfo>

extern "C" __attribute__((visibility("default"))) short CheckOutlookObject()
{
    const QString folder = AddressBookPaths::contactsFolder();
    if (!AddressBookPaths::ensureFolder(folder))
        return 0;
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isWritable() ? 1 : 0;
}

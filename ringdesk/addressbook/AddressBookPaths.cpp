#include "addressbook/AddressBookPaths.h"

#include "common/AppPaths.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AddressBookPaths {

namespace {

QString folder(const QString& key, const QString& name)
{
    const QString stored =
        readSetting(Settings::Application, QStringLiteral("Contacts"), key, QString());
    if (!stored.isEmpty())
        return stored;
    return AppPaths::dataHome() + QStringLiteral("/ringdesk/") + name;
}

} // namespace

QString contactsFolder()
{
    return folder(QStringLiteral("ContactsFolder"), QStringLiteral("contacts"));
}

QString journalFolder()
{
    return folder(QStringLiteral("JournalFolder"), QStringLiteral("journal"));
}

bool ensureFolder(const QString& path)
{
    // Every folder made here, the missing parents included, is readable by its owner only;
    // folders that already exist are left as they are.
    QStringList missing;
    QString at = QDir::cleanPath(QDir(path).absolutePath());
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString parent = QFileInfo(at).absolutePath();
        if (parent == at)
            return false;
        at = parent;
    }
    for (const QString& folder : std::as_const(missing)) {
        if (!QDir().mkdir(folder))
            return false;
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    return QFileInfo(path).isDir();
}

} // namespace AddressBookPaths

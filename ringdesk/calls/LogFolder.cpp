#include "calls/LogFolder.h"

#include "addressbook/AddressBookPaths.h"
#include "common/AppPaths.h"
#include "common/SafeFile.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString defaultLogFolder(QString* problem)
{
    const QString folder = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder)) {
            if (problem)
                *problem = QStringLiteral("Couldn't create the log folder %1").arg(folder);
            return QString();
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    return folder + u'/';
}

QString settleLogFolder(const QString& asked, QStringList* lines)
{
    QString folder = asked;
    if (!folder.isEmpty() && !QDir::isAbsolutePath(folder)) {
        lines->append(QStringLiteral("[Setting Setup/LogDirectory holds \"%1\", not an "
                                     "absolute folder; using the data folder]")
                          .arg(folder));
        folder.clear();
    }
    if (folder.isEmpty()) {
        QString problem;
        folder = defaultLogFolder(&problem);
        if (folder.isEmpty())
            lines->append(u'[' + problem +
                          QStringLiteral("; calls are not written to a log file]"));
    }
    return folder;
}

void removeLeftovers(const QString& logFolder)
{
    auto named = [](QStringList names) {
        return [names](const QString& name) {
            return names.contains(name);
        };
    };
    auto endingIn = [](QString suffix) {
        return [suffix](const QString& name) {
            return name.endsWith(suffix, Qt::CaseInsensitive);
        };
    };
    const QString ours = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    const QStringList logs{QStringLiteral("CallLog.txt"), QStringLiteral("CallEvnt.txt"),
                           QStringLiteral("mqtt-outbox")};
    SafeFile::removeLeftovers(ours, named(logs));
    if (!logFolder.isEmpty())
        SafeFile::removeLeftovers(logFolder, named(logs));
    // Folders other programs share: only what has the name of a file we write there.
    SafeFile::removeLeftovers(
        AppPaths::configHome(),
        named({QFileInfo(SettingsStore::pathFor(Settings::Application)).fileName()}));
    SafeFile::removeLeftovers(AddressBookPaths::contactsFolder(), endingIn(QStringLiteral(".vcf")));
    SafeFile::removeLeftovers(AddressBookPaths::journalFolder(), endingIn(QStringLiteral(".ics")));
    SafeFile::removeLeftovers(AppPaths::cacheHome() + QStringLiteral("/ringdesk"),
                              endingIn(QStringLiteral(".index")));
}

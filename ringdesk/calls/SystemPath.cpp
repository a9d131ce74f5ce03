#include "SystemPath.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString GetSystemPath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    const QString folder = base + QStringLiteral("/ringdesk");
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder))
            return QString();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    return folder + u'/';
}

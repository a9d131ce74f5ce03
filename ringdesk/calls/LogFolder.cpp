#include "calls/LogFolder.h"

#include "common/AppPaths.h"

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

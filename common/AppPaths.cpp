#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace AppPaths {

QString dataDirectory()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/ringdesk"));
}

QString dataFile(const QString& name)
{
    return dataDirectory() + u'/' + name;
}

} // namespace AppPaths

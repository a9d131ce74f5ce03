#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace AppPaths {

namespace {

QString baseDirectory(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + u'/' + fallback);
}

} // namespace

QString dataDirectory()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/ringdesk"));
}

QString dataFile(const QString& name)
{
    return dataDirectory() + u'/' + name;
}

QString configHome()
{
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString dataHome()
{
    return baseDirectory("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString cacheHome()
{
    return baseDirectory("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

} // namespace AppPaths

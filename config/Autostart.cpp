#include "config/Autostart.h"

#include "common/AppPaths.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Autostart {

QString entryPath()
{
    return AppPaths::configHome() + QStringLiteral("/autostart/ringdesk.desktop");
}

bool enabled()
{
    return QFileInfo::exists(entryPath());
}

QString execLine(const QString& program)
{
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    // The entry's own string escapes come on top of the Exec quoting.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + QStringLiteral("\" --minimized");
}

bool setEnabled(bool on, const QString& program, QString* error)
{
    const QString path = entryPath();
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        *error = QStringLiteral("%1 cannot be removed").arg(path);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = QStringLiteral("the folder of %1 cannot be created").arg(path);
        return false;
    }
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Ringwatch\n"
                             "Comment=Shows who is calling\n"
                             "Exec=" +
                             execLine(program).toUtf8() +
                             "\n"
                             "Icon=ringdesk\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n";
    return SafeFile::writeAtomically(path, entry, error);
}

} // namespace Autostart

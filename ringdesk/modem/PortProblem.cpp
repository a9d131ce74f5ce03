#include "modem/PortProblem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PortProblem {

namespace {

QString commandName(qint64 pid)
{
    // The program's own name from its command line; "comm" is cut at 15 characters.
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray first = cmdline.readAll().split('\0').value(0);
        if (!first.isEmpty())
            return QFileInfo(QString::fromLocal8Bit(first)).fileName();
    }
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                          : QString();
}

bool alive(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

QList<Holder> holdersOf(const QString& device)
{
    QList<Holder> holders;
    const qint64 self = QCoreApplication::applicationPid();
    auto add = [&](qint64 pid) {
        if (pid == self || !alive(pid))
            return;
        for (const Holder& known : std::as_const(holders))
            if (known.pid == pid)
                return;
        holders.append({pid, commandName(pid)});
    };
    // UUCP-style lock files, as minicom, QSerialPort and others leave them.
    const QString name = QFileInfo(device).fileName();
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        QFile lock(QStringLiteral("%1/LCK..%2").arg(QLatin1String(folder), name));
        if (lock.open(QIODevice::ReadOnly))
            add(lock.readAll().trimmed().toLongLong());
    }
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return holders;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : pids) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) == target) {
                add(pid);
                break;
            }
        }
    }
    return holders;
}

Facts gather(const QString& device, const QString& systemError)
{
    Facts facts;
    facts.systemError = systemError;
    const QByteArray path = QFile::encodeName(device);
    struct stat info;
    if (::stat(path.constData(), &info) != 0) {
        facts.exists = false;
        return facts;
    }
    facts.accessDenied = ::access(path.constData(), R_OK | W_OK) != 0;
    if (const struct group* owner = ::getgrgid(info.st_gid))
        facts.group = QString::fromLocal8Bit(owner->gr_name);
    if (!facts.accessDenied)
        facts.holders = holdersOf(device);
    return facts;
}

QString describe(const Facts& facts)
{
    if (!facts.exists)
        return QStringLiteral("does not exist");
    if (facts.accessDenied) {
        if (facts.group.isEmpty() || facts.group == QLatin1String("root"))
            return QStringLiteral("permission denied");
        return QStringLiteral("permission denied; add your user to the %1 group").arg(facts.group);
    }
    if (!facts.holders.isEmpty()) {
        const Holder& holder = facts.holders.first();
        if (holder.name == QLatin1String("ModemManager"))
            return QStringLiteral("in use by ModemManager (process %1); see \"Real modems\" in "
                                  "the help to keep it away from this modem")
                .arg(holder.pid);
        return QStringLiteral("in use by process %1 (%2)").arg(holder.pid).arg(holder.name);
    }
    return facts.systemError.isEmpty() ? QStringLiteral("it cannot be opened")
                                       : facts.systemError.toLower();
}

} // namespace PortProblem

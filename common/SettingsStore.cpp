#include "common/SettingsStore.h"

#include "common/AppPaths.h"
#include "common/FileStamp.h"
#include "common/IniDocument.h"
#include "common/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions ownerOnlyDir =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Our own writers hold the lock for a read, a merge and a rewrite of a few kilobytes; a holder
// that changes nothing for this long is stuck, and the window that saves must not freeze on it.
constexpr int stallLimitMs = 2000;

using Stamp = FileStamp;

struct Snapshot
{
    Stamp stamp;
    IniDocument document;
    QString readError; // empty when the file was read (or is absent)
};

QMutex cacheMutex;
QHash<QString, std::shared_ptr<const Snapshot>> cache;

void remember(const QString& path, std::shared_ptr<const Snapshot> snapshot)
{
    QMutexLocker locker(&cacheMutex);
    cache.insert(path, std::move(snapshot));
}

// The file as parsed, parsed again only when it changed on disk since.
std::shared_ptr<const Snapshot> snapshotOf(const QString& path)
{
    const Stamp now = FileStamp::of(path);
    {
        QMutexLocker locker(&cacheMutex);
        const auto found = cache.constFind(path);
        if (found != cache.cend() && (*found)->stamp == now)
            return *found;
    }
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->stamp = now;
    if (now.exists) {
        // Through a symbolic link too: the settings may live in a dotfiles folder.
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            snapshot->document = IniDocument::parse(file.readAll());
        else
            snapshot->readError = file.errorString();
    }
    remember(path, snapshot);
    return snapshot;
}

QString describe(const QList<IniDocument::BadLine>& bad)
{
    QStringList parts;
    for (qsizetype i = 0; i < bad.size() && i < 5; ++i)
        parts << QStringLiteral("%1 (%2)").arg(bad.at(i).number).arg(bad.at(i).reason);
    QString text = (bad.size() == 1 ? QStringLiteral("line ") : QStringLiteral("lines ")) +
                   parts.join(QStringLiteral(", "));
    if (bad.size() > 5)
        text += QStringLiteral(" and %1 more").arg(bad.size() - 5);
    return text;
}

// An exclusive lock on a file beside the store, held until destruction. The kernel drops it when
// its holder dies, so a lock is never stale; a holder that is alive but writes nothing for the
// stall limit is given up on.
class WriteLock
{
public:
    ~WriteLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool acquire(const QString& lockPath, const QString& watched, QString* error)
    {
        m_fd = ::open(QFile::encodeName(lockPath).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        QElapsedTimer quiet;
        quiet.start();
        Stamp seen = FileStamp::of(watched);
        useconds_t pause = 100;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                *error = QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            const Stamp now = FileStamp::of(watched);
            if (!(now == seen)) {
                // The holder is making progress: wait on, however long its work takes.
                seen = now;
                quiet.restart();
            } else if (quiet.elapsed() > stallLimitMs) {
                *error = QStringLiteral("another program holds it locked without writing");
                return false;
            }
            ::usleep(pause);
            pause = std::min<useconds_t>(pause * 2, 4000);
        }
        return true;
    }

private:
    int m_fd = -1;
};

} // namespace

SettingsStore::SettingsStore(const QString& application) : m_path(pathFor(application)) {}

QString SettingsStore::pathFor(const QString& application)
{
    return AppPaths::configHome() + u'/' + application.toLower() + QStringLiteral(".ini");
}

QString SettingsStore::problem() const
{
    const auto snapshot = snapshotOf(m_path);
    if (!snapshot->readError.isEmpty())
        return QStringLiteral("Settings file %1 cannot be read (%2); defaults are used")
            .arg(m_path, snapshot->readError);
    const QList<IniDocument::BadLine>& bad = snapshot->document.badLines();
    if (bad.isEmpty())
        return QString();
    return QStringLiteral("Settings file %1: %2 cannot be read and %3 passed over; the file is "
                          "copied aside before it is next written")
        .arg(m_path, describe(bad), bad.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}

QString SettingsStore::get(const QString& section, const QString& key,
                           const QString& defaultValue) const
{
    const auto snapshot = snapshotOf(m_path);
    return snapshot->document.value(section, key).value_or(defaultValue);
}

bool SettingsStore::keepCopyOfDamagedFile(const QString& target)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString copy = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFileInfo::exists(copy); ++n)
        copy = m_path + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (!QFile::copy(target, copy)) {
        m_lastError = QStringLiteral("the damaged file could not be copied aside");
        return false;
    }
    QFile::setPermissions(copy, ownerOnlyFile);
    m_backupPath = copy;
    return true;
}

bool SettingsStore::save(const QString& section, const QString& key, const QString& value)
{
    return saveAll({{section, key, value}});
}

bool SettingsStore::saveAll(const QList<Entry>& entries)
{
    m_lastError.clear();
    const QFileInfo info(m_path);
    const QString folder = info.path();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder)) {
            m_lastError = QStringLiteral("its folder %1 cannot be created").arg(folder);
            return false;
        }
        QFile::setPermissions(folder, ownerOnlyDir);
    }

    WriteLock lock;
    if (!lock.acquire(folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock"),
                      m_path, &m_lastError))
        return false;

    // Read under the lock, so what another program wrote a moment ago is kept.
    const auto snapshot = snapshotOf(m_path);
    if (!snapshot->readError.isEmpty()) {
        // Writing now would put defaults over values that could not be read.
        m_lastError = QStringLiteral("it cannot be read (%1)").arg(snapshot->readError);
        return false;
    }
    // Written where a symbolic link points, so a link into a dotfiles folder stays a link.
    const QString target = info.isSymLink() ? info.symLinkTarget() : m_path;
    const bool damaged = !snapshot->document.badLines().isEmpty();
    if (damaged && !keepCopyOfDamagedFile(target))
        return false;

    auto updated = std::make_shared<Snapshot>();
    updated->document = snapshot->document;
    for (const Entry& entry : entries)
        updated->document.setValue(entry.section, entry.key, entry.value);
    const QByteArray content = updated->document.serialize();
    if (!SafeFile::writeAtomically(target, content, &m_lastError))
        return false;
    if (damaged)
        updated->document = IniDocument::parse(content); // the lines left out are gone now
    updated->stamp = FileStamp::of(m_path);
    remember(m_path, updated);
    return true;
}

QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue)
{
    return SettingsStore(application).get(section, key, defaultValue);
}

bool saveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value)
{
    return SettingsStore(application).save(section, key, value);
}

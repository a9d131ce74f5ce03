#include "common/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

bool fail(QString* error, int code)
{
    if (error) {
        *error = code == ELOOP ? QStringLiteral("it is a symbolic link, which is not followed")
                               : QString::fromLocal8Bit(std::strerror(code));
    }
    return false;
}

int openFile(const QString& path, int flags, QString* error, bool* missing = nullptr)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int code = errno;
        if (missing)
            *missing = code == ENOENT;
        fail(error, code);
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("it is not a plain file");
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool append(const QString& path, const QByteArray& data, QString* error)
{
    const int fd = openFile(path, O_RDWR | O_APPEND | O_CREAT, error);
    if (fd < 0)
        return false;
    struct stat info;
    ::fstat(fd, &info);
    const off_t before = info.st_size;
    QByteArray out = data;
    // Whatever an earlier failure left, the new data begins on a line of its own.
    char last = '\n';
    if (before > 0 && ::pread(fd, &last, 1, before - 1) == 1 && last != '\n')
        out.prepend("\r\n");
    if (!writeAll(fd, out)) {
        const int code = errno;
        // A part written is worse than nothing written: the next append would be glued to it.
        const bool cut = ::ftruncate(fd, before) == 0;
        Q_UNUSED(cut) // nothing more can be done; the next append starts on a new line
        ::close(fd);
        return fail(error, code);
    }
    if (::close(fd) != 0)
        return fail(error, errno);
    return true;
}

bool truncate(const QString& path, QString* error)
{
    const int fd = openFile(path, O_WRONLY | O_CREAT | O_TRUNC, error);
    if (fd < 0)
        return false;
    if (::close(fd) != 0)
        return fail(error, errno);
    return true;
}

bool writeAtomically(const QString& path, const QByteArray& data, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat info;
    if (::lstat(target.constData(), &info) == 0 && S_ISLNK(info.st_mode))
        return fail(error, ELOOP);
    const QFileInfo where(path);
    QByteArray temp = QFile::encodeName(where.path() + QStringLiteral("/.") + where.fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return fail(error, errno);
    if (!writeAll(fd, data) || ::fdatasync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return fail(error, code);
    }
    if (::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(error, code);
    }
    return true;
}

int removeLeftovers(const QString& folder, const std::function<bool(const QString& name)>& ours)
{
    // As mkostemp makes them: a dot, the file's name, a dot and six letters or digits.
    auto targetOf = [](const QString& name) {
        const qsizetype dot = name.size() - 7;
        if (!name.startsWith(u'.') || dot < 2 || name.at(dot) != u'.')
            return QString();
        for (qsizetype i = dot + 1; i < name.size(); ++i) {
            const char16_t c = name.at(i).unicode();
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                return QString();
        }
        return name.mid(1, dot - 1);
    };
    // Only hidden names can be ours; a folder of tens of thousands of cards is read by name alone
    // and only those are looked at, rather than each file listed and looked at.
    QStringList candidates;
    if (DIR* dir = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                continue;
            const QString name = QFile::decodeName(entry->d_name);
            const QString target = targetOf(name);
            if (!target.isEmpty() && ours(target))
                candidates.append(name);
        }
        ::closedir(dir);
    }
    const QDateTime aMinuteAgo = QDateTime::currentDateTime().addSecs(-60);
    int removed = 0;
    for (const QString& name : std::as_const(candidates)) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (!file.isFile() || file.isSymLink() || file.lastModified() > aMinuteAgo)
            continue;
        if (QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

bool read(const QString& path, QByteArray* data, QString* error, bool* missing)
{
    if (missing)
        *missing = false;
    const int fd = openFile(path, O_RDONLY, error, missing);
    if (fd < 0)
        return false;
    data->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(error, code);
        }
        if (n == 0)
            break;
        data->append(buffer, n);
    }
    ::close(fd);
    return true;
}

} // namespace SafeFile

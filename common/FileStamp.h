#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>

// What tells one version of a file from the next: device, inode, size and modification time in
// nanoseconds. A file replaced by a new one (as every careful writer does) changes inode even
// where size and time would not.
struct FileStamp
{
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modified = 0;

    static FileStamp of(const QString& path)
    {
        return at(AT_FDCWD, QFile::encodeName(path).constData());
    }
    // The file `name` of the open folder `dir`.
    static FileStamp at(int dir, const char* name)
    {
        FileStamp stamp;
        struct stat info;
        if (::fstatat(dir, name, &info, 0) != 0)
            return stamp;
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        return stamp;
    }

    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

#pragma once

#include "ContactItem.h"

#include <QFuture>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <memory>

// The contacts folder, with an index from numbers and names to the files that hold them: a
// search reads only the few files that can match. The index keeps keys, not cards, so it costs
// little memory however large the address book.
//
// It follows the folder through inotify: a file the folder reports changed (by this program or
// any other) is read again when its size, time or inode moved; without a watch, or when the
// watch overflows, the whole folder is looked at again. It is kept between runs in the cache
// folder: warmUp() reads that copy on a worker thread (what the first search waits for), while a
// second worker checks every file against it and reads what changed, so start-up waits for
// nothing and the first search does not wait for the whole folder to be read.
class ContactsFolder
{
public:
    ContactsFolder() = default;
    ~ContactsFolder();
    ContactsFolder(const ContactsFolder&) = delete;
    ContactsFolder& operator=(const ContactsFolder&) = delete;

    // Switching to another folder drops the index.
    void setPath(const QString& path);
    QString path() const { return m_path; }

    // `areaCode` completes seven-digit numbers in the index the worker builds.
    void warmUp(const QString& areaCode = QString());

    // The first contact the filter matches (files in name order, cards in file order), how many
    // more match, or a failure (a filter that does not parse, a folder that cannot be read).
    struct Found
    {
        std::shared_ptr<ContactItem> item;
        int others = 0;
        QString error;
    };
    Found find(const QString& filterText, const QString& areaCode);

    // Where the index is kept between runs for a folder.
    static QString cacheFileFor(const QString& folder);

private:
    struct Stamp
    {
        qint64 size = -1;
        qint64 modified = 0;
        quint64 inode = 0;
        bool operator==(const Stamp& other) const
        {
            return size == other.size && modified == other.modified && inode == other.inode;
        }
    };
    struct File
    {
        Stamp stamp;
        QStringList numbers; // comparable numbers, seven-digit ones without an area code
        QStringList names;   // "L:" or "C:" and the last or company name folded
    };
    using Files = QMap<QString, File>;        // by file name, which is the search order
    using Keys = QHash<QString, QStringList>; // each file once per key
    // Files and the index over them, as a worker hands them over.
    struct Index
    {
        Files files;
        QString areaCode;
        Keys byNumber; // comparable number -> files
        Keys byName;   // name key -> files
    };
    static void addKeys(Index& index, const QString& name, const File& file);

    static Stamp stampOf(const QString& path);
    static File read(const QString& file, const Stamp& stamp);
    // The folder's files, reading only those not already in `known` with the same stamp; the
    // reading is shared out over the processor's cores.
    static Files scan(const QString& path, const Files& known);
    static Files loadCache(const QString& folder);
    static void saveCache(const QString& folder, const Files& files);

    void install(Files files);
    void adopt(Index index);
    void refresh(const QString& areaCode);
    // The file names the folder reported changed since the last call; `whole` when it cannot
    // say (no watch, an overflow, the folder itself moved).
    QSet<QString> reportedChanges(bool* whole);
    void update(const QString& name);
    void index(const QString& name, const File& file, bool add);
    QString numberKey(const QString& stored) const;
    bool startWatching();
    void stopWatching();
    void waitForWorkers();

    QString m_path;
    Index m_index;
    bool m_scanned = false;
    QFuture<Index> m_cached;  // the copy kept between runs, indexed
    QFuture<Files> m_checked; // the folder checked against it
    bool m_cachedPending = false;
    bool m_checkedPending = false;
    int m_inotify = -1;
};

#pragma once

#include "addressbook/ContactItem.h"
#include "addressbook/ContactQuery.h"
#include "common/FileStamp.h"

#include <QFuture>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

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

    // Switching to another folder, or to another country whose plan reads the numbers on the
    // cards, drops the index.
    void setPath(const QString& path, const QString& country = QStringLiteral("US"));
    QString path() const { return m_path; }

    void warmUp();

    // The first contact the query matches (files in name order, cards in file order), how many
    // more match, or a failure (a folder that cannot be read).
    struct Found
    {
        std::shared_ptr<AddressBookItem> item;
        int others = 0;
        QString error;
    };
    Found find(const ContactQuery& query, const NumberPlan& plan);

    // Where the index is kept between runs for a folder.
    static QString cacheFileFor(const QString& folder);

private:
    using Stamp = FileStamp;
    struct File
    {
        Stamp stamp;
        quint32 id = 0; // its place in Index::names
    };
    // One key of one file: a number as NumberPlan::key gives it without an area code (E.164, and
    // seven-digit North American numbers as stored), "L:" and the last name, or "C:" and the
    // company, folded, hashed. Two keys that hash alike only make a file a candidate, which is then
    // read and matched for real.
    struct Entry
    {
        quint64 key;
        quint32 file;
        bool operator<(const Entry& other) const
        {
            return key != other.key ? key < other.key : file < other.file;
        }
    };
    struct Index
    {
        QMap<QString, File> files;  // by file name, which is the search order
        QStringList names;          // by id; empty once the file is gone
        std::vector<Entry> entries; // sorted
    };

    static quint64 keyOf(QStringView text);
    // The keys of the cards of one file, read now.
    static std::vector<quint64> keysOf(const QString& file, const NumberPlan& plan);
    // The folder's card files in name order, and their stamps.
    struct Listing
    {
        QStringList names;
        std::vector<Stamp> stamps;
    };
    static Listing list(const QString& path);
    // The index of the listed files, reading only those not in `known` with the same stamp;
    // `known` itself when nothing changed.
    static Index scan(const QString& path, const NumberPlan& plan, const Index& known,
                      const Listing& listing, bool* changed);
    // work(0) to work(count - 1), shared out over the processor's cores.
    static void inParallel(qsizetype count, const std::function<void(qsizetype)>& work);
    static Index loadCache(const QString& folder, const QString& country);
    static void saveCache(const QString& folder, const QString& country, const Index& index);
    static void add(Index& index, const QString& name, const Stamp& stamp, const quint64* keys,
                    size_t count);

    void refresh();
    void adoptChecked();
    // The file names the folder reported changed since the last call; `whole` when it cannot
    // say (no watch, an overflow, the folder itself moved).
    QSet<QString> reportedChanges(bool* whole);
    void update(const QString& name);
    QList<quint32> filesWith(quint64 key) const;
    // The cards of the files the index names for the query, read now and matched.
    Found candidatesMatching(const ContactQuery& query, const NumberPlan& plan) const;
    bool startWatching();
    void stopWatching();
    void waitForWorkers();

    QString m_path;
    NumberPlan m_plan{QStringLiteral("US")}; // the one the index was built with
    Index m_index;
    bool m_scanned = false;
    QFuture<std::shared_ptr<const Index>> m_cached; // the copy kept between runs
    QFuture<Index> m_checked;                       // the folder checked against it
    bool m_cachedPending = false;
    bool m_checkedPending = false;
    QSet<QString> m_changedMeanwhile; // reported while the check ran
    int m_inotify = -1;
};

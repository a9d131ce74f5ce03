#pragma once

#include "ContactItem.h"

#include <QFuture>
#include <QHash>
#include <QMap>
#include <QSet>
#include <memory>

// The contacts folder: every card of every .vcf file in it, with an index from numbers and names
// to the files that hold them, so that a search reads nothing at all while nothing changed. The
// index follows the folder through inotify: a file that the folder reports changed (by this
// program or any other) is read again when its size, time or inode moved; without a watch, or
// when the watch overflows, the whole folder is looked at again.
// The first reading runs on a worker thread from warmUp(), so start-up does not wait for it.
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

    void warmUp();

    // The first contact the filter matches (files in name order, cards in file order), how many
    // more match, or a failure (a filter that does not parse, a folder that cannot be read).
    struct Found
    {
        std::shared_ptr<ContactItem> item;
        int others = 0;
        QString error;
    };
    Found find(const QString& filterText, const QString& areaCode);

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
        QList<VCard> cards;
    };
    using Files = QMap<QString, File>; // by file name, which is the search order

    // The folder's files, reading only those not already in `known` with the same stamp; the
    // reading is shared out over the processor's cores.
    static Files scan(const QString& path, const Files& known);
    static Stamp stampOf(const QString& path);
    static File read(const QString& file, const Stamp& stamp);
    void install(Files files);
    void refresh(const QString& areaCode);
    // The file names the folder reported changed since the last call; `whole` when it cannot
    // say (no watch, an overflow, the folder itself moved).
    QSet<QString> reportedChanges(bool* whole);
    void update(const QString& name);
    void index(const QString& name, const File& file, bool add);
    bool startWatching();
    void stopWatching();

    QString m_path;
    Files m_files;
    QString m_indexedAreaCode;
    QHash<QString, QSet<QString>> m_byNumber; // comparable number -> files
    QHash<QString, QSet<QString>> m_byName;   // "L:"/"F:"/"C:" and the name folded -> files
    bool m_scanned = false;
    QFuture<Files> m_warming;
    bool m_warmingPending = false;
    int m_inotify = -1;
};

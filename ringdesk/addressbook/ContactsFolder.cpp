#include "addressbook/ContactsFolder.h"

#include "common/AppPaths.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr quint32 cacheMagic = 0x52444958; // "RDIX"
constexpr quint32 cacheVersion = 5;

} // namespace

ContactsFolder::~ContactsFolder()
{
    waitForWorkers();
    stopWatching();
}

void ContactsFolder::waitForWorkers()
{
    if (m_cachedPending)
        m_cached.waitForFinished();
    if (m_checkedPending)
        m_checked.waitForFinished();
    m_cachedPending = m_checkedPending = false;
}

void ContactsFolder::stopWatching()
{
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
}

void ContactsFolder::setPath(const QString& path, const QString& country)
{
    const NumberPlan plan(country);
    if (path == m_path && plan.country() == m_plan.country())
        return;
    waitForWorkers();
    stopWatching();
    m_path = path;
    m_plan = plan;
    m_index = Index();
    m_scanned = false;
}

QString ContactsFolder::cacheFileFor(const QString& folder)
{
    const QByteArray id =
        QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha1).toHex();
    return AppPaths::cacheHome() + QStringLiteral("/ringdesk/contacts-") +
           QString::fromLatin1(id.left(16)) + QStringLiteral(".index");
}

void ContactsFolder::warmUp()
{
    if (m_cachedPending || m_checkedPending || m_scanned || m_path.isEmpty())
        return;
    // Watching first: whatever changes while the workers read is reported afterwards.
    startWatching();
    const QString path = m_path;
    const NumberPlan plan = m_plan;
    // Shared between the search and the check, which each need it whole, rather than copied.
    m_cached = QtConcurrent::run(
        [path, plan] { return std::make_shared<const Index>(loadCache(path, plan.country())); });
    QFuture<std::shared_ptr<const Index>> cached = m_cached;
    m_checked = QtConcurrent::run([path, plan, cached] {
        // The folder is listed while the copy is read: only the comparing needs both.
        const Listing listing = list(path);
        const std::shared_ptr<const Index> known = cached.result();
        bool changed = false;
        Index index = scan(path, plan, *known, listing, &changed);
        if (changed)
            saveCache(path, plan.country(), index);
        // What the reading and parsing left free goes back to the system, not only to this
        // thread's heap.
        malloc_trim(0);
        return index;
    });
    m_cachedPending = m_checkedPending = true;
}

quint64 ContactsFolder::keyOf(QStringView text)
{
    // FNV-1a: the same on every run and every Qt, as a key kept between runs must be.
    quint64 hash = 14695981039346656037ULL;
    for (const QChar c : text) {
        hash ^= c.unicode();
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::vector<quint64> ContactsFolder::keysOf(const QString& file, const NumberPlan& plan)
{
    std::vector<quint64> keys;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return keys;
    for (const VCard& card : VCard::parse(in.readAll())) {
        for (const QString& phone : card.phones()) {
            const QString number = plan.key(phone);
            if (!number.isEmpty())
                keys.push_back(keyOf(number));
        }
        // Searches by name always name the last name or the company.
        keys.push_back(keyOf(QString(QStringLiteral("L:") + card.lastName().toCaseFolded())));
        keys.push_back(keyOf(QString(QStringLiteral("C:") + card.company().toCaseFolded())));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

void ContactsFolder::add(Index& index, const QString& name, const Stamp& stamp, const quint64* keys,
                         size_t count)
{
    const quint32 id = quint32(index.names.size());
    index.names.append(name);
    index.files.insert(index.files.cend(), name, File{stamp, id});
    for (size_t k = 0; k < count; ++k)
        index.entries.push_back(Entry{keys[k], id});
}

ContactsFolder::Listing ContactsFolder::list(const QString& path)
{
    // Read straight from the directory: a listing through QDir would hold a QFileInfo for each of
    // tens of thousands of files at once, and a hidden file or a folder is never a contact.
    Listing listing;
    const int dir = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return listing;
    if (DIR* stream = ::fdopendir(::dup(dir))) {
        while (const dirent* entry = ::readdir(stream)) {
            if (entry->d_name[0] == '.' || entry->d_type == DT_DIR)
                continue;
            const QString name = QFile::decodeName(entry->d_name);
            if (name.endsWith(QLatin1String(".vcf")) || name.endsWith(QLatin1String(".VCF")))
                listing.names.append(name);
        }
        ::closedir(stream);
    }
    listing.names.sort();
    listing.stamps.resize(size_t(listing.names.size()));
    inParallel(listing.names.size(), [&](qsizetype i) {
        listing.stamps[size_t(i)] =
            FileStamp::at(dir, QFile::encodeName(listing.names.at(i)).constData());
    });
    ::close(dir);
    return listing;
}

void ContactsFolder::inParallel(qsizetype count, const std::function<void(qsizetype)>& work)
{
    const int threads = count < 64 ? 1 : int(std::max(1u, std::thread::hardware_concurrency()));
    auto share = [&](qsizetype first) {
        for (qsizetype i = first; i < count; i += threads)
            work(i);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(share, t);
    share(0);
    for (std::thread& helper : helpers)
        helper.join();
}

ContactsFolder::Index ContactsFolder::scan(const QString& path, const NumberPlan& plan,
                                           const Index& known, const Listing& listing,
                                           bool* changed)
{
    const QStringList& names = listing.names;
    // Both in name order: each file is matched with the known one of its name in one walk.
    std::vector<qint64> unchanged(size_t(names.size()), -1); // the known file's id
    QList<qsizetype> toRead;
    auto old = known.files.cbegin();
    for (qsizetype i = 0; i < names.size(); ++i) {
        while (old != known.files.cend() && old.key() < names.at(i))
            ++old;
        if (old != known.files.cend() && old.key() == names.at(i) &&
            old->stamp == listing.stamps[size_t(i)])
            unchanged[size_t(i)] = old->id;
        else
            toRead.append(i);
    }
    *changed = !toRead.isEmpty() || names.size() != known.files.size();
    if (!*changed)
        return known;

    const QDir folder(path);
    std::vector<std::vector<quint64>> keys(size_t(names.size()));
    inParallel(toRead.size(), [&](qsizetype k) {
        const qsizetype i = toRead.at(k);
        keys[size_t(i)] = keysOf(folder.filePath(names.at(i)), plan);
    });
    // The keys each known file had, side by side in one block, to keep for those that did not
    // change: where file f's keys start is knownStart[f].
    std::vector<quint32> knownStart(size_t(known.names.size()) + 1, 0);
    for (const Entry& entry : known.entries)
        ++knownStart[entry.file + 1];
    for (size_t f = 1; f < knownStart.size(); ++f)
        knownStart[f] += knownStart[f - 1];
    std::vector<quint64> knownKeys(known.entries.size());
    {
        std::vector<quint32> next(knownStart.begin(), knownStart.end() - 1);
        for (const Entry& entry : known.entries)
            knownKeys[next[entry.file]++] = entry.key;
    }
    Index index;
    index.entries.reserve(known.entries.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qint64 id = unchanged[size_t(i)];
        if (id >= 0)
            add(index, names.at(i), listing.stamps[size_t(i)],
                knownKeys.data() + knownStart[size_t(id)],
                knownStart[size_t(id) + 1] - knownStart[size_t(id)]);
        else
            add(index, names.at(i), listing.stamps[size_t(i)], keys[size_t(i)].data(),
                keys[size_t(i)].size());
    }
    std::sort(index.entries.begin(), index.entries.end());
    return index;
}

namespace {

// How the index is kept between runs: a header, then fixed-size blocks read and written whole,
// so that reading it back at start-up costs a few milliseconds, not a parse per card.
struct StoredStamp
{
    quint64 device;
    quint64 inode;
    qint64 size;
    qint64 modified;
};

template <typename T> bool readBlock(QFile& file, std::vector<T>& block, qint64 count)
{
    block.resize(size_t(count));
    const qint64 bytes = count * qint64(sizeof(T));
    return file.read(reinterpret_cast<char*>(block.data()), bytes) == bytes;
}

template <typename T> void writeBlock(QByteArray& out, const std::vector<T>& block)
{
    out.append(reinterpret_cast<const char*>(block.data()), qsizetype(block.size() * sizeof(T)));
}

} // namespace

ContactsFolder::Index ContactsFolder::loadCache(const QString& folder, const QString& country)
{
    Index index;
    QFile file(cacheFileFor(folder));
    if (!file.open(QIODevice::ReadOnly))
        return index;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 version = 0;
    QString path;
    QString plan;
    qint64 count = 0;
    qint64 keyCount = 0;
    qint64 nameLength = 0;
    in >> magic >> version >> path >> plan >> count >> keyCount >> nameLength;
    // Keys made by another country's plan would not find this country's numbers.
    if (in.status() != QDataStream::Ok || magic != cacheMagic || version != cacheVersion ||
        path != folder || plan != country || count < 0 || keyCount < 0 || nameLength < 0 ||
        count + keyCount + nameLength > file.size())
        return index;
    std::vector<StoredStamp> stamps;
    std::vector<quint32> nameLengths;
    std::vector<char16_t> names;
    std::vector<quint32> keysPerFile;
    std::vector<quint64> keys;
    // A copy cut short or damaged is no copy: the folder is read instead.
    if (!readBlock(file, stamps, count) || !readBlock(file, nameLengths, count) ||
        !readBlock(file, names, nameLength) || !readBlock(file, keysPerFile, count) ||
        !readBlock(file, keys, keyCount))
        return index;
    size_t nameAt = 0;
    size_t keyAt = 0;
    index.entries.reserve(size_t(keyCount));
    for (size_t i = 0; i < size_t(count); ++i) {
        if (nameLengths[i] > names.size() - nameAt || keysPerFile[i] > keys.size() - keyAt)
            return Index();
        Stamp stamp;
        stamp.exists = true;
        stamp.device = stamps[i].device;
        stamp.inode = stamps[i].inode;
        stamp.size = stamps[i].size;
        stamp.modified = stamps[i].modified;
        add(index, QString(reinterpret_cast<const QChar*>(names.data() + nameAt), nameLengths[i]),
            stamp, keys.data() + keyAt, keysPerFile[i]);
        nameAt += nameLengths[i];
        keyAt += keysPerFile[i];
    }
    std::sort(index.entries.begin(), index.entries.end());
    return index;
}

void ContactsFolder::saveCache(const QString& folder, const QString& country, const Index& index)
{
    const QString path = cacheFileFor(folder);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return;
    std::vector<std::vector<quint64>> keysOfFile(size_t(index.names.size()));
    for (const Entry& entry : index.entries)
        keysOfFile[entry.file].push_back(entry.key);
    std::vector<StoredStamp> stamps;
    std::vector<quint32> nameLengths;
    std::vector<char16_t> names;
    std::vector<quint32> keysPerFile;
    std::vector<quint64> keys;
    for (auto it = index.files.cbegin(); it != index.files.cend(); ++it) {
        stamps.push_back({it->stamp.device, it->stamp.inode, it->stamp.size, it->stamp.modified});
        nameLengths.push_back(quint32(it.key().size()));
        names.insert(names.end(), it.key().utf16(), it.key().utf16() + it.key().size());
        keysPerFile.push_back(quint32(keysOfFile[it->id].size()));
        keys.insert(keys.end(), keysOfFile[it->id].begin(), keysOfFile[it->id].end());
    }
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << cacheMagic << cacheVersion << folder << country << qint64(stamps.size())
            << qint64(keys.size()) << qint64(names.size());
    }
    writeBlock(bytes, stamps);
    writeBlock(bytes, nameLengths);
    writeBlock(bytes, names);
    writeBlock(bytes, keysPerFile);
    writeBlock(bytes, keys);
    QString error;
    SafeFile::writeAtomically(path, bytes, &error); // a copy that cannot be kept costs time only
}

bool ContactsFolder::startWatching()
{
    if (m_inotify >= 0)
        return true;
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0)
        return false;
    if (inotify_add_watch(m_inotify, QFile::encodeName(m_path).constData(),
                          IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                              IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
        stopWatching();
        return false;
    }
    return true;
}

QSet<QString> ContactsFolder::reportedChanges(bool* whole)
{
    QSet<QString> names;
    *whole = false;
    if (m_inotify < 0 && !startWatching()) {
        *whole = true; // unwatched: every search looks at the whole folder again
        return names;
    }
    // Read without waiting: whatever the folder reported since the last search.
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(m_inotify, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                *whole = true;
            else if (event->len > 0)
                names.insert(QFile::decodeName(event->name));
            p += sizeof(inotify_event) + event->len;
        }
    }
    if (*whole) {
        // The folder may be another one now: watched afresh before it is read again whole.
        stopWatching();
        startWatching();
    }
    return names;
}

void ContactsFolder::update(const QString& name)
{
    // Hidden files and others' temporary files are not contacts, as a scan of the folder says.
    if (name.startsWith(u'.') || !name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive))
        return;
    const QString file = QDir(m_path).filePath(name);
    const Stamp stamp = FileStamp::of(file);
    const auto old = m_index.files.constFind(name);
    if (old != m_index.files.cend() && old->stamp == stamp)
        return;
    if (old != m_index.files.cend()) {
        const quint32 id = old->id;
        m_index.entries.erase(std::remove_if(m_index.entries.begin(), m_index.entries.end(),
                                             [id](const Entry& entry) { return entry.file == id; }),
                              m_index.entries.end());
        m_index.names[id].clear();
        m_index.files.erase(old);
    }
    if (stamp.size < 0 || !QFileInfo(file).isFile())
        return;
    const quint32 id = quint32(m_index.names.size());
    m_index.names.append(name);
    m_index.files.insert(name, File{stamp, id});
    for (const quint64 key : keysOf(file, m_plan)) {
        const Entry entry{key, id};
        m_index.entries.insert(
            std::lower_bound(m_index.entries.begin(), m_index.entries.end(), entry), entry);
    }
}

void ContactsFolder::refresh()
{
    if (m_cachedPending) {
        // The copy kept between runs serves until the folder has been checked; without one,
        // the check itself is waited for.
        const std::shared_ptr<const Index> cached = m_cached.result();
        m_cachedPending = false;
        m_cached = {};
        if (!cached->files.isEmpty()) {
            m_index = *cached;
            m_scanned = true;
        }
    }
    if (m_checkedPending && (m_checked.isFinished() || !m_scanned))
        adoptChecked();
    bool whole = false;
    const QSet<QString> changed = reportedChanges(&whole);
    if (m_checkedPending)
        m_changedMeanwhile.unite(changed);
    if ((whole || !m_scanned) && !m_checkedPending) {
        m_scanned = true;
        bool changed = false;
        m_index = scan(m_path, m_plan, m_index, list(m_path), &changed);
        return;
    }
    for (const QString& name : changed)
        update(name);
}

void ContactsFolder::adoptChecked()
{
    m_index = m_checked.takeResult();
    m_checked = {};
    m_checkedPending = false;
    m_scanned = true;
    // The index it replaces, and the one kept between runs, were freed just now.
    malloc_trim(0);
    // The check may have looked at a file before a change the folder reported meanwhile.
    const QSet<QString> changed = std::exchange(m_changedMeanwhile, {});
    for (const QString& name : changed)
        update(name);
}

QList<quint32> ContactsFolder::filesWith(quint64 key) const
{
    QList<quint32> files;
    auto it = std::lower_bound(m_index.entries.cbegin(), m_index.entries.cend(), Entry{key, 0});
    for (; it != m_index.entries.cend() && it->key == key; ++it)
        files.append(it->file);
    return files;
}

ContactsFolder::Found ContactsFolder::candidatesMatching(const ContactQuery& query,
                                                         const NumberPlan& plan) const
{
    Found found;
    // The files that can hold a match at all: those of the number, else of the last name or the
    // company. The first name is not indexed: a search by name always names the last name too.
    QList<quint32> candidates;
    bool narrowed = true;
    if (query.number) {
        const QString number = plan.key(*query.number);
        if (number.isEmpty())
            return found; // an empty number is nobody's
        candidates = filesWith(keyOf(number));
        // Seven-digit numbers are kept as stored; they are this area code's.
        const QString area = QStringLiteral("+1") + PhoneNumber::digits(plan.areaCode());
        if (plan.northAmerican() && area.size() > 2 && number.size() == area.size() + 7 &&
            number.startsWith(area))
            candidates += filesWith(keyOf(QStringView(number).sliced(area.size())));
    } else if (query.lastName) {
        candidates =
            filesWith(keyOf(QString(QStringLiteral("L:") + query.lastName->toCaseFolded())));
    } else if (query.company) {
        candidates =
            filesWith(keyOf(QString(QStringLiteral("C:") + query.company->toCaseFolded())));
    } else {
        narrowed = false;
    }
    QStringList names;
    if (narrowed) {
        for (const quint32 id : std::as_const(candidates))
            if (!m_index.names.at(id).isEmpty())
                names << m_index.names.at(id);
    } else {
        names = m_index.files.keys();
    }
    names.sort();
    names.removeDuplicates();
    // Only the candidates are read, as they are now: the index only points the way.
    const QDir folder(m_path);
    for (const QString& name : std::as_const(names)) {
        QFile in(folder.filePath(name));
        if (!in.open(QIODevice::ReadOnly))
            continue;
        for (const VCard& card : VCard::parse(in.readAll())) {
            if (!query.matches(card, plan))
                continue;
            if (found.item)
                ++found.others;
            else
                found.item = std::make_shared<ContactItem>(folder.filePath(name), card);
        }
    }
    return found;
}

ContactsFolder::Found ContactsFolder::find(const ContactQuery& query, const NumberPlan& plan)
{
    Found found;
    if (!QFileInfo(m_path).isDir()) {
        found.error = QStringLiteral("there is no contacts folder %1").arg(m_path);
        return found;
    }
    refresh();
    found = candidatesMatching(query, plan);
    if (!found.item && m_checkedPending) {
        // The copy kept between runs may not know a card added or changed since: before
        // saying nobody, the folder as it is now is asked.
        adoptChecked();
        found = candidatesMatching(query, plan);
    }
    return found;
}

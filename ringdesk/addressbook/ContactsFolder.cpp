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
    m_cached = QtConcurrent::run([path, plan] { return loadCache(path, plan.country()); });
    QFuture<Index> cached = m_cached;
    m_checked = QtConcurrent::run([path, plan, cached] {
        const Index known = cached.result();
        Index index = scan(path, plan, known);
        bool same = index.files.size() == known.files.size();
        for (auto it = index.files.cbegin(); same && it != index.files.cend(); ++it)
            same = known.files.contains(it.key()) && known.files.value(it.key()).stamp == it->stamp;
        if (!same)
            saveCache(path, plan.country(), index);
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

void ContactsFolder::add(Index& index, const QString& name, const Stamp& stamp,
                         const std::vector<quint64>& keys)
{
    const quint32 id = quint32(index.names.size());
    index.names.append(name);
    index.files.insert(index.files.cend(), name, File{stamp, id});
    for (const quint64 key : keys)
        index.entries.push_back(Entry{key, id});
}

ContactsFolder::Index ContactsFolder::scan(const QString& path, const NumberPlan& plan,
                                           const Index& known)
{
    const QDir folder(path);
    // Picked by hand rather than by name filters, which would compile regular expressions and
    // load their library into a monitor that may never need it.
    QStringList names;
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(QLatin1String(".vcf")) || name.endsWith(QLatin1String(".VCF")))
            names.append(name);
    }
    // The keys each known file had, to keep for those that did not change.
    std::vector<std::vector<quint64>> knownKeys(size_t(known.names.size()));
    for (const Entry& entry : known.entries)
        knownKeys[entry.file].push_back(entry.key);

    std::vector<Stamp> stamps(size_t(names.size()));
    std::vector<std::vector<quint64>> keys(size_t(names.size()));
    auto work = [&](qsizetype first, qsizetype step) {
        for (qsizetype i = first; i < names.size(); i += step) {
            const QString file = folder.filePath(names.at(i));
            stamps[size_t(i)] = FileStamp::of(file);
            const auto old = known.files.constFind(names.at(i));
            keys[size_t(i)] = old != known.files.cend() && old->stamp == stamps[size_t(i)]
                                  ? knownKeys[old->id]
                                  : keysOf(file, plan);
        }
    };
    const int threads =
        names.size() < 64 ? 1 : int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work, t, threads);
    work(0, threads);
    for (std::thread& helper : helpers)
        helper.join();
    Index index;
    for (qsizetype i = 0; i < names.size(); ++i)
        add(index, names.at(i), stamps[size_t(i)], keys[size_t(i)]);
    std::sort(index.entries.begin(), index.entries.end());
    return index;
}

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
    in >> magic >> version >> path >> plan >> count;
    // Keys made by another country's plan would not find this country's numbers.
    if (magic != cacheMagic || version != cacheVersion || path != folder || plan != country ||
        count < 0)
        return index;
    std::vector<quint64> keys;
    for (qint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString name;
        Stamp stamp;
        quint32 keyCount = 0;
        in >> name >> stamp.exists >> stamp.device >> stamp.size >> stamp.modified >> stamp.inode >>
            keyCount;
        keys.resize(keyCount);
        for (quint64& key : keys)
            in >> key;
        add(index, name, stamp, keys);
    }
    // A copy cut short or damaged is no copy: the folder is read instead.
    if (in.status() != QDataStream::Ok)
        return Index();
    std::sort(index.entries.begin(), index.entries.end());
    return index;
}

void ContactsFolder::saveCache(const QString& folder, const QString& country, const Index& index)
{
    const QString path = cacheFileFor(folder);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return;
    std::vector<std::vector<quint64>> keys(size_t(index.names.size()));
    for (const Entry& entry : index.entries)
        keys[entry.file].push_back(entry.key);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << cacheMagic << cacheVersion << folder << country << qint64(index.files.size());
    for (auto it = index.files.cbegin(); it != index.files.cend(); ++it) {
        out << it.key() << it->stamp.exists << it->stamp.device << it->stamp.size
            << it->stamp.modified << it->stamp.inode << quint32(keys[it->id].size());
        for (const quint64 key : keys[it->id])
            out << key;
    }
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
        Index cached = m_cached.result();
        m_cachedPending = false;
        if (!cached.files.isEmpty()) {
            m_index = std::move(cached);
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
        m_index = scan(m_path, m_plan, m_index);
        return;
    }
    for (const QString& name : changed)
        update(name);
}

void ContactsFolder::adoptChecked()
{
    m_index = m_checked.result();
    m_checkedPending = false;
    m_scanned = true;
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

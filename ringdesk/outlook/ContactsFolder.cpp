#include "ContactsFolder.h"

#include "AppPaths.h"
#include "ContactFilter.h"
#include "SafeFile.h"

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
#include <vector>

namespace {

constexpr quint32 cacheMagic = 0x52444958; // "RDIX"
constexpr quint32 cacheVersion = 2;

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

void ContactsFolder::setPath(const QString& path)
{
    if (path == m_path)
        return;
    waitForWorkers();
    stopWatching();
    m_path = path;
    m_index.files.clear();
    m_index.byNumber.clear();
    m_index.byName.clear();
    m_scanned = false;
}

QString ContactsFolder::cacheFileFor(const QString& folder)
{
    const QByteArray id =
        QCryptographicHash::hash(QFile::encodeName(folder), QCryptographicHash::Sha1).toHex();
    return AppPaths::cacheHome() + QStringLiteral("/ringdesk/contacts-") +
           QString::fromLatin1(id.left(16)) + QStringLiteral(".index");
}

void ContactsFolder::warmUp(const QString& areaCode)
{
    if (m_cachedPending || m_checkedPending || m_scanned || m_path.isEmpty())
        return;
    // Watching first: whatever changes while the workers read is reported afterwards.
    startWatching();
    const QString path = m_path;
    m_cached = QtConcurrent::run([path, areaCode] {
        Index index;
        index.areaCode = areaCode;
        index.files = loadCache(path);
        index.byNumber.reserve(index.files.size() * 2);
        index.byName.reserve(index.files.size() * 2);
        for (auto it = index.files.cbegin(); it != index.files.cend(); ++it)
            addKeys(index, it.key(), *it);
        return index;
    });
    QFuture<Index> cached = m_cached;
    m_checked = QtConcurrent::run([path, cached] {
        const Files known = cached.result().files;
        Files files = scan(path, known);
        bool same = files.size() == known.size();
        for (auto it = files.cbegin(); same && it != files.cend(); ++it)
            same = known.contains(it.key()) && known.value(it.key()).stamp == it->stamp;
        if (!same)
            saveCache(path, files);
        return files;
    });
    m_cachedPending = m_checkedPending = true;
}

ContactsFolder::Stamp ContactsFolder::stampOf(const QString& path)
{
    Stamp stamp;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return stamp;
    stamp.size = info.st_size;
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.inode = info.st_ino;
    return stamp;
}

ContactsFolder::File ContactsFolder::read(const QString& file, const Stamp& stamp)
{
    File entry;
    entry.stamp = stamp;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return entry;
    for (const VCard& card : VCard::parse(in.readAll())) {
        for (const QString& phone : card.phones()) {
            const QString number = ContactFilter::comparableNumber(phone, QString());
            if (!number.isEmpty() && !entry.numbers.contains(number))
                entry.numbers << number;
        }
        // Searches by name always name the last name or the company.
        entry.names << QStringLiteral("L:") + card.lastName().toCaseFolded()
                    << QStringLiteral("C:") + card.company().toCaseFolded();
    }
    entry.names.removeDuplicates();
    return entry;
}

ContactsFolder::Files ContactsFolder::scan(const QString& path, const Files& known)
{
    const QDir folder(path);
    const QStringList names = folder.entryList({QStringLiteral("*.vcf"), QStringLiteral("*.VCF")},
                                               QDir::Files, QDir::Name);
    QList<File> read(names.size());
    auto work = [&](qsizetype first, qsizetype step) {
        for (qsizetype i = first; i < names.size(); i += step) {
            const Stamp stamp = stampOf(folder.filePath(names.at(i)));
            const auto old = known.constFind(names.at(i));
            read[i] = old != known.cend() && old->stamp == stamp
                          ? *old
                          : ContactsFolder::read(folder.filePath(names.at(i)), stamp);
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
    Files files;
    for (qsizetype i = 0; i < names.size(); ++i)
        files.insert(names.at(i), std::move(read[i]));
    return files;
}

ContactsFolder::Files ContactsFolder::loadCache(const QString& folder)
{
    Files files;
    QFile file(cacheFileFor(folder));
    if (!file.open(QIODevice::ReadOnly))
        return files;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 version = 0;
    QString path;
    qint64 count = 0;
    in >> magic >> version >> path >> count;
    if (magic != cacheMagic || version != cacheVersion || path != folder || count < 0)
        return files;
    for (qint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString name;
        File entry;
        in >> name >> entry.stamp.size >> entry.stamp.modified >> entry.stamp.inode >>
            entry.numbers >> entry.names;
        files.insert(files.cend(), name, entry); // kept in name order: each goes last
    }
    // A copy cut short or damaged is no copy: the folder is read instead.
    return in.status() == QDataStream::Ok ? files : Files();
}

void ContactsFolder::saveCache(const QString& folder, const Files& files)
{
    const QString path = cacheFileFor(folder);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << cacheMagic << cacheVersion << folder << qint64(files.size());
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        out << it.key() << it->stamp.size << it->stamp.modified << it->stamp.inode << it->numbers
            << it->names;
    QString error;
    SafeFile::writeAtomically(path, bytes, &error); // a copy that cannot be kept costs time only
}

namespace {

// `area`: the digits of the area code.
QString numberKeyFor(const QString& stored, const QString& area)
{
    return stored.size() == 7 && !area.isEmpty() ? area + stored : stored;
}

} // namespace

QString ContactsFolder::numberKey(const QString& stored) const
{
    return numberKeyFor(stored, ContactFilter::digits(m_index.areaCode));
}

void ContactsFolder::addKeys(Index& index, const QString& name, const File& file)
{
    const QString area = ContactFilter::digits(index.areaCode);
    for (const QString& number : file.numbers)
        index.byNumber[numberKeyFor(number, area)].append(name);
    for (const QString& key : file.names)
        index.byName[key].append(name);
}

void ContactsFolder::adopt(Index index)
{
    m_index = std::move(index);
}

void ContactsFolder::index(const QString& name, const File& file, bool add)
{
    auto apply = [&](Keys& map, const QString& key) {
        if (add) {
            map[key].append(name);
            return;
        }
        const auto found = map.find(key);
        if (found == map.end())
            return;
        found->removeOne(name);
        if (found->isEmpty())
            map.erase(found);
    };
    for (const QString& number : file.numbers)
        apply(m_index.byNumber, numberKey(number));
    for (const QString& key : file.names)
        apply(m_index.byName, key);
}

void ContactsFolder::install(Files files)
{
    for (auto it = m_index.files.cbegin(); it != m_index.files.cend(); ++it) {
        const auto now = files.constFind(it.key());
        if (now == files.cend() || !(now->stamp == it->stamp))
            index(it.key(), *it, false);
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const auto before = m_index.files.constFind(it.key());
        if (before == m_index.files.cend() || !(before->stamp == it->stamp))
            index(it.key(), *it, true);
    }
    m_index.files = std::move(files);
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
    const Stamp stamp = stampOf(file);
    const auto old = m_index.files.constFind(name);
    if (old != m_index.files.cend() && old->stamp == stamp)
        return;
    if (old != m_index.files.cend()) {
        index(name, *old, false);
        m_index.files.erase(old);
    }
    if (stamp.size < 0 || !QFileInfo(file).isFile())
        return;
    const File entry = read(file, stamp);
    index(name, entry, true);
    m_index.files.insert(name, entry);
}

void ContactsFolder::refresh(const QString& areaCode)
{
    if (m_cachedPending) {
        // The copy kept between runs serves until the folder has been checked; without one,
        // the check itself is waited for.
        Index cached = m_cached.result();
        m_cachedPending = false;
        if (!cached.files.isEmpty()) {
            adopt(std::move(cached));
            m_scanned = true;
        }
    }
    if (m_checkedPending && (m_checked.isFinished() || !m_scanned)) {
        install(m_checked.result());
        m_checkedPending = false;
        m_scanned = true;
    }
    if (areaCode != m_index.areaCode) {
        m_index.byNumber.clear();
        m_index.byName.clear();
        m_index.areaCode = areaCode;
        for (auto it = m_index.files.cbegin(); it != m_index.files.cend(); ++it)
            index(it.key(), *it, true);
    }
    bool whole = false;
    const QSet<QString> changed = reportedChanges(&whole);
    if ((whole || !m_scanned) && !m_checkedPending) {
        m_scanned = true;
        install(scan(m_path, m_index.files));
        return;
    }
    for (const QString& name : changed)
        update(name);
}

ContactsFolder::Found ContactsFolder::find(const QString& filterText, const QString& areaCode)
{
    Found found;
    const std::optional<ContactFilter> filter = ContactFilter::parse(filterText);
    if (!filter) {
        found.error = QStringLiteral("the filter cannot be read");
        return found;
    }
    if (!QFileInfo(m_path).isDir()) {
        found.error = QStringLiteral("there is no contacts folder %1").arg(m_path);
        return found;
    }
    refresh(areaCode);

    // The files that can hold a match at all: those of the number, else of a name.
    QStringList candidates;
    bool narrowed = false;
    for (const ContactFilter::Term& term : filter->terms) {
        if (term.property != QLatin1String("BusinessTelephoneNumber"))
            continue;
        const QString number = ContactFilter::comparableNumber(term.value, areaCode);
        if (number.isEmpty())
            return found; // an empty number is nobody's
        candidates = m_index.byNumber.value(number);
        narrowed = true;
        break;
    }
    for (const ContactFilter::Term& term : filter->terms) {
        if (narrowed)
            break;
        if (term.property == QLatin1String("FirstName"))
            continue; // not indexed: a search by name always names the last name too
        const QString prefix = term.property == QLatin1String("LastName") ? QStringLiteral("L:")
                                                                          : QStringLiteral("C:");
        candidates = m_index.byName.value(prefix + term.value.toCaseFolded());
        narrowed = true;
    }
    QStringList names =
        narrowed ? QStringList(candidates.cbegin(), candidates.cend()) : m_index.files.keys();
    names.sort();
    // Only the candidates are read, as they are now: the index only points the way.
    const QDir folder(m_path);
    for (const QString& name : std::as_const(names)) {
        QFile in(folder.filePath(name));
        if (!in.open(QIODevice::ReadOnly))
            continue;
        for (const VCard& card : VCard::parse(in.readAll())) {
            if (!filter->matches(card, areaCode))
                continue;
            if (found.item)
                ++found.others;
            else
                found.item = std::make_shared<ContactItem>(folder.filePath(name), card);
        }
    }
    return found;
}

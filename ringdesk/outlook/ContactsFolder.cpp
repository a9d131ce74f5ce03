#include "ContactsFolder.h"

#include "ContactFilter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <thread>
#include <vector>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

ContactsFolder::~ContactsFolder()
{
    if (m_warmingPending)
        m_warming.waitForFinished();
    stopWatching();
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
    if (m_warmingPending)
        m_warming.waitForFinished();
    m_warmingPending = false;
    stopWatching();
    m_path = path;
    m_files.clear();
    m_byNumber.clear();
    m_byName.clear();
    m_scanned = false;
}

void ContactsFolder::warmUp()
{
    if (m_warmingPending || m_scanned || m_path.isEmpty())
        return;
    // Watching first: whatever changes while the worker reads is reported afterwards.
    startWatching();
    const QString path = m_path;
    m_warming = QtConcurrent::run([path] { return scan(path, Files()); });
    m_warmingPending = true;
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
    if (in.open(QIODevice::ReadOnly))
        entry.cards = VCard::parse(in.readAll());
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

void ContactsFolder::index(const QString& name, const File& file, bool add)
{
    auto apply = [&](QHash<QString, QSet<QString>>& map, const QString& key) {
        if (add) {
            map[key].insert(name);
            return;
        }
        const auto found = map.find(key);
        if (found == map.end())
            return;
        found->remove(name);
        if (found->isEmpty())
            map.erase(found);
    };
    for (const VCard& card : file.cards) {
        for (const QString& phone : card.phones()) {
            const QString number = ContactFilter::comparableNumber(phone, m_indexedAreaCode);
            if (!number.isEmpty())
                apply(m_byNumber, number);
        }
        apply(m_byName, QStringLiteral("L:") + card.lastName().toCaseFolded());
        apply(m_byName, QStringLiteral("F:") + card.firstName().toCaseFolded());
        apply(m_byName, QStringLiteral("C:") + card.company().toCaseFolded());
    }
}

void ContactsFolder::install(Files files)
{
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const auto now = files.constFind(it.key());
        if (now == files.cend() || !(now->stamp == it->stamp))
            index(it.key(), *it, false);
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const auto before = m_files.constFind(it.key());
        if (before == m_files.cend() || !(before->stamp == it->stamp))
            index(it.key(), *it, true);
    }
    m_files = std::move(files);
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
    const auto old = m_files.constFind(name);
    if (old != m_files.cend() && old->stamp == stamp)
        return;
    if (old != m_files.cend()) {
        index(name, *old, false);
        m_files.erase(old);
    }
    if (stamp.size < 0 || !QFileInfo(file).isFile())
        return;
    const File entry = read(file, stamp);
    index(name, entry, true);
    m_files.insert(name, entry);
}

void ContactsFolder::refresh(const QString& areaCode)
{
    if (m_warmingPending) {
        install(m_warming.result());
        m_warmingPending = false;
        m_scanned = true;
    }
    if (areaCode != m_indexedAreaCode) {
        m_byNumber.clear();
        m_byName.clear();
        m_indexedAreaCode = areaCode;
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
            index(it.key(), *it, true);
    }
    bool whole = false;
    const QSet<QString> changed = reportedChanges(&whole);
    if (whole || !m_scanned) {
        m_scanned = true;
        install(scan(m_path, m_files));
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
    QSet<QString> candidates;
    bool narrowed = false;
    for (const ContactFilter::Term& term : filter->terms) {
        if (term.property != QLatin1String("BusinessTelephoneNumber"))
            continue;
        const QString number = ContactFilter::comparableNumber(term.value, areaCode);
        if (number.isEmpty())
            return found; // an empty number is nobody's
        candidates = m_byNumber.value(number);
        narrowed = true;
        break;
    }
    for (const ContactFilter::Term& term : filter->terms) {
        if (narrowed)
            break;
        const QString prefix = term.property == QLatin1String("LastName")    ? QStringLiteral("L:")
                               : term.property == QLatin1String("FirstName") ? QStringLiteral("F:")
                                                                             : QStringLiteral("C:");
        candidates = m_byName.value(prefix + term.value.toCaseFolded());
        narrowed = true;
    }
    QStringList names =
        narrowed ? QStringList(candidates.cbegin(), candidates.cend()) : m_files.keys();
    names.sort();
    const QDir folder(m_path);
    for (const QString& name : std::as_const(names)) {
        const QList<VCard>& cards = m_files.value(name).cards;
        for (const VCard& card : cards) {
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

#include "calls/CallScreen.h"
#include "common/Clock.h"

#include <QRegularExpression>

#include "common/AppPaths.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString folderOr(const QString& folder)
{
    return folder.isEmpty() ? AppPaths::configHome() + QStringLiteral("/ringdesk") : folder;
}

} // namespace

CallScreen::CallScreen(const QString& folder, const QString& importedFolder, QObject* parent)
    : QObject(parent), m_blocked(folderOr(folder) + QStringLiteral("/blocked.txt")),
      m_allowed(folderOr(folder) + QStringLiteral("/allowed.txt")), m_imported(importedFolder)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(200);
    connect(&m_settle, &QTimer::timeout, this, &CallScreen::listsChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
}

void CallScreen::watchLists()
{
    const QString folder = QFileInfo(m_blocked.path()).path();
    QDir().mkpath(folder);
    m_watcher.addPath(folder);
    QDir().mkpath(m_imported.folder());
    m_watcher.addPath(m_imported.folder());
    refresh(m_blocked);
    refresh(m_allowed);
    listsChanged();
}

void CallScreen::listsChanged()
{
    // A file replaced by a new one is watched no longer under its old inode.
    for (const QString& path : {m_blocked.path(), m_allowed.path()})
        if (QFileInfo::exists(path) && !m_watcher.files().contains(path))
            m_watcher.addPath(path);
    for (ScreeningList* list : {&m_blocked, &m_allowed})
        if (refresh(*list))
            emit eventLine(QStringLiteral("[Read %1 again: %2 entries]")
                               .arg(list->path())
                               .arg(list->entries(m_plan).size()));
    if (m_imported.refresh())
        for (const ImportedLists::Source& source : m_imported.sources())
            emit eventLine(QStringLiteral("[Block list %1: %2 numbers, imported %3]")
                               .arg(source.name)
                               .arg(source.numbers)
                               .arg(source.imported.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
}

bool CallScreen::refresh(ScreeningList& list)
{
    if (!list.refresh(m_plan))
        return false;
    reportProblems(list);
    return true;
}

void CallScreen::reportProblems(const ScreeningList& list)
{
    for (const ScreeningList::Problem& problem : list.problems()) {
        if (problem.line == 0) {
            emit eventLine(QStringLiteral("[Screening: %1 cannot be read: %2]")
                               .arg(list.path(), problem.reason));
            continue;
        }
        emit eventLine(QStringLiteral("[Screening: %1, line %2 is no entry (\"%3\": %4); skipped]")
                           .arg(list.path())
                           .arg(problem.line)
                           .arg(problem.text, problem.reason));
    }
}

namespace {

// The marker a caller-ID name holds ("SPAM", ...), or nothing. Networks put `V` and 15 digits
// where a spoofed call's name would be; carriers name the calls they rate.
QString markerIn(const QString& name)
{
    static const QRegularExpression spoofed(QStringLiteral("^V\\d{15}$"));
    const QString upper = name.trimmed().toUpper();
    if (spoofed.match(upper).hasMatch())
        return QStringLiteral("V and 15 digits");
    for (const char* marker : {"SCAM LIKELY", "SPAM", "FRAUD", "TELEMARKET"})
        if (upper.contains(QLatin1String(marker)))
            return QString::fromLatin1(marker);
    return QString();
}

} // namespace

CallScreen::Verdict CallScreen::decide(const CallerId& record,
                                       const std::function<bool()>& inAddressBook)
{
    Verdict verdict;
    if (m_options.mode == ScreeningOptions::Off || !record.begun)
        return verdict;
    refresh(m_allowed);
    refresh(m_blocked);
    // A withheld caller has no number to hold against the lists.
    const QString number = record.withheld ? QString() : record.number;
    if (m_allowed.match(record.e164, number, record.name))
        return verdict;
    const ScreeningList::Hit listed = m_blocked.match(record.e164, number, record.name);
    verdict.rule = listed.number ? listed.entry : ruleFor(record, listed);
    // The user's own number entry blocks even a contact: that is what "Block" means.
    if (verdict.rule.isEmpty())
        verdict.check = m_options.checkUnknown && m_options.mode == ScreeningOptions::BlockListed &&
                        (record.withheld || !inAddressBook());
    else if (!listed.number && !record.withheld && inAddressBook())
        verdict.rule.clear();
    else if (std::exchange(m_permitNext, false))
        verdict.permitted = true;
    else
        verdict.blocked = true;
    return verdict;
}

QString CallScreen::ruleFor(const CallerId& record, const ScreeningList::Hit& listed)
{
    if (listed)
        return listed.entry;
    if (m_options.mode == ScreeningOptions::AllowKnown)
        return record.withheld ? QStringLiteral("withheld")
                               : QStringLiteral("not in the address book or allowed.txt");
    const QString digits = record.withheld ? QString() : PhoneNumber::digits(record.number);
    if (!digits.isEmpty()) {
        m_imported.refresh();
        if (const QString source = m_imported.sourceOf(record.e164); !source.isEmpty())
            return QStringLiteral("list ") + source;
        if (m_options.blockInvalid && !m_plan.exists(record.e164))
            return QStringLiteral("cannot exist");
        if (const QString rule = neighbourRule(record.e164); !rule.isEmpty())
            return rule;
    }
    if (m_options.blockMarkers)
        if (const QString marker = markerIn(record.name); !marker.isEmpty())
            return QStringLiteral("name marked %1").arg(marker);
    if (record.withheld && m_options.blockWithheld)
        return QStringLiteral("withheld");
    if (quietNow())
        return QStringLiteral("quiet hours");
    if (m_options.greylistMinutes > 0 && !digits.isEmpty() && m_lastCall) {
        const QDateTime last = m_lastCall(record.e164.isEmpty() ? record.number : record.e164);
        if (!last.isValid() || last.secsTo(Clock::now()) > qint64(m_options.greylistMinutes) * 60)
            return QStringLiteral("first call, greylist");
    }
    return QString();
}

QString CallScreen::neighbourRule(const QString& e164) const
{
    if (!m_options.blockNeighbours || e164.size() < 8)
        return QString();
    const QString own = m_plan.e164(m_options.ownNumber);
    // In North America the last four digits follow the area code and the exchange.
    if (own.size() != e164.size() || !e164.startsWith(own.chopped(4)))
        return QString();
    return QStringLiteral("neighbour of %1").arg(m_options.ownNumber.trimmed());
}

bool CallScreen::quietNow() const
{
    const QTime& from = m_options.quietFrom;
    const QTime& to = m_options.quietTo;
    if (!from.isValid() || !to.isValid())
        return false;
    const QTime now = Clock::now().time();
    // A span that crosses midnight holds the times after its start and those before its end.
    return from < to ? now >= from && now < to : now >= from || now < to;
}

bool CallScreen::permitNext()
{
    if (m_options.mode == ScreeningOptions::Off) {
        emit eventLine(QStringLiteral("[Screening is off: every call rings already]"));
        return false;
    }
    m_permitNext = true;
    emit eventLine(QStringLiteral("[The next call that screening would block will ring, once]"));
    return true;
}

QList<ImportedLists::Source> CallScreen::importedSources()
{
    m_imported.refresh();
    return m_imported.sources();
}

bool CallScreen::dropSource(const QString& source, QString* error)
{
    if (!m_imported.drop(source, error))
        return false;
    emit eventLine(QStringLiteral("[Dropped block list %1]").arg(source));
    m_imported.refresh();
    return true;
}

bool CallScreen::block(const QString& number)
{
    QString error;
    const int unallowed = m_allowed.remove(number, m_plan, &error);
    if (unallowed < 0) {
        emit eventLine(QStringLiteral("[Couldn't block %1: %2]").arg(number, error));
        return false;
    }
    if (unallowed > 0)
        emit eventLine(QStringLiteral("[Took %1 off %2]").arg(number, m_allowed.path()));
    bool added = false;
    if (!m_blocked.add(number, m_plan, &error, &added)) {
        emit eventLine(QStringLiteral("[Couldn't block %1: %2]").arg(number, error));
        return false;
    }
    emit eventLine(added ? QStringLiteral("[Added %1 to %2]").arg(number, m_blocked.path())
                         : QStringLiteral("[%1 is on %2 already]").arg(number, m_blocked.path()));
    refresh(m_allowed);
    if (const ScreeningList::Hit still = m_allowed.match(QString(), number, QString()))
        emit eventLine(QStringLiteral("[%1 is still let through by \"%2\" in %3]")
                           .arg(number, still.entry, m_allowed.path()));
    return true;
}

bool CallScreen::unblock(const QString& number, const QString& name)
{
    QString error;
    const int removed = m_blocked.remove(number, m_plan, &error);
    if (removed < 0) {
        emit eventLine(QStringLiteral("[Couldn't unblock %1: %2]").arg(number, error));
        return false;
    }
    if (removed > 0)
        emit eventLine(QStringLiteral("[Took %1 off %2]").arg(number, m_blocked.path()));
    refresh(m_blocked);
    refresh(m_allowed);
    const ScreeningList::Hit still = m_blocked.match(QString(), number, name);
    if (!still || m_allowed.match(QString(), number, name)) {
        if (removed == 0)
            emit eventLine(QStringLiteral("[%1 is not on %2]").arg(number, m_blocked.path()));
        return true;
    }
    // The entry may block others the user still wants blocked: the number alone is let through.
    if (!m_allowed.add(number, m_plan, &error)) {
        emit eventLine(QStringLiteral("[Couldn't unblock %1: %2]").arg(number, error));
        return false;
    }
    emit eventLine(QStringLiteral("[Added %1 to %2: it overrides \"%3\" in %4]")
                       .arg(number, m_allowed.path(), still.entry, m_blocked.path()));
    return true;
}

bool CallScreen::allowChecked(const QString& number, const QString& why)
{
    QString error;
    bool added = false;
    if (!m_allowed.add(number, m_plan, &error, &added, why)) {
        emit eventLine(QStringLiteral("[Couldn't allow %1: %2]").arg(number, error));
        return false;
    }
    if (added)
        emit eventLine(QStringLiteral("[Added %1 to %2: %3]").arg(number, m_allowed.path(), why));
    return true;
}

bool CallScreen::isBlocked(const QString& number, const QString& name, bool refreshed)
{
    if (refreshed) {
        refresh(m_blocked);
        refresh(m_allowed);
    }
    return m_blocked.match(QString(), number, name) && !m_allowed.match(QString(), number, name);
}

QStringList CallScreen::entries(List which)
{
    refresh(list(which));
    return list(which).entries(m_plan);
}

QList<ScreeningList::Problem> CallScreen::problems(List which)
{
    refresh(list(which));
    return list(which).problems();
}

bool CallScreen::addEntry(List which, const QString& entry, QString* error)
{
    bool added = false;
    if (!list(which).addEntry(entry, m_plan, error, &added))
        return false;
    if (added)
        emit eventLine(QStringLiteral("[Added %1 to %2]").arg(entry.trimmed(), list(which).path()));
    return true;
}

int CallScreen::removeEntry(List which, const QString& entry, QString* error)
{
    const int removed = list(which).removeEntry(entry, m_plan, error);
    if (removed > 0)
        emit eventLine(QStringLiteral("[Took %1 off %2]").arg(entry.trimmed(), list(which).path()));
    return removed;
}

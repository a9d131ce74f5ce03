#include "calls/CallScreen.h"

#include "common/AppPaths.h"

#include <QFileInfo>

namespace {

QString folderOr(const QString& folder)
{
    return folder.isEmpty() ? AppPaths::configHome() + QStringLiteral("/ringdesk") : folder;
}

} // namespace

CallScreen::CallScreen(const QString& folder, QObject* parent)
    : QObject(parent), m_blocked(folderOr(folder) + QStringLiteral("/blocked.txt")),
      m_allowed(folderOr(folder) + QStringLiteral("/allowed.txt"))
{
}

void CallScreen::refresh(ScreeningList& list)
{
    for (const ScreeningList::Problem& problem : list.refresh(m_plan)) {
        const QString where = QStringLiteral("%1, line %2").arg(list.path()).arg(problem.line);
        if (m_reported.contains(where + problem.text))
            continue;
        m_reported.insert(where + problem.text);
        emit eventLine(QStringLiteral("[Screening: %1 is no entry (\"%2\"); skipped]")
                           .arg(where, problem.text));
    }
}

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
    if (!m_allowed.match(record.e164, number, record.name).isEmpty())
        return verdict;
    const QString listed = m_blocked.match(record.e164, number, record.name);
    const bool withheldBlocked =
        record.withheld &&
        (m_options.blockWithheld || m_options.mode == ScreeningOptions::AllowKnown);
    const bool wouldBlock =
        !listed.isEmpty() || withheldBlocked || m_options.mode == ScreeningOptions::AllowKnown;
    if (!wouldBlock || (!record.withheld && inAddressBook()))
        return verdict;
    verdict.blocked = true;
    verdict.rule = !listed.isEmpty() ? listed
                   : withheldBlocked ? QStringLiteral("withheld")
                                     : QStringLiteral("not in the address book or allowed.txt");
    return verdict;
}

bool CallScreen::block(const QString& number)
{
    QString error;
    if (m_blocked.add(number, m_plan, &error))
        return true;
    emit eventLine(QStringLiteral("[Couldn't block %1: %2]").arg(number, error));
    return false;
}

bool CallScreen::unblock(const QString& number)
{
    QString error;
    if (m_blocked.remove(number, m_plan, &error) >= 0)
        return true;
    emit eventLine(QStringLiteral("[Couldn't unblock %1: %2]").arg(number, error));
    return false;
}

QStringList CallScreen::entries(List list)
{
    ScreeningList& which = list == List::Blocked ? m_blocked : m_allowed;
    refresh(which);
    return which.entries(m_plan);
}

bool CallScreen::addEntry(List list, const QString& entry, QString* error)
{
    return (list == List::Blocked ? m_blocked : m_allowed).addEntry(entry, m_plan, error);
}

bool CallScreen::removeEntry(List list, const QString& entry, QString* error)
{
    return (list == List::Blocked ? m_blocked : m_allowed).removeEntry(entry, m_plan, error) >= 0;
}

bool CallScreen::isBlocked(const QString& number)
{
    refresh(m_blocked);
    return !m_blocked.match(QString(), number, QString()).isEmpty();
}

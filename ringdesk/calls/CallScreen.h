#pragma once

#include "calls/ImportedLists.h"
#include "calls/ScreeningList.h"
#include "modem/CallerId.h"
#include "numbers/NumberPlan.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>

// What the user asked screening to do ([Screening] in the settings).
struct ScreeningOptions
{
    enum Mode
    {
        Off = 0,
        BlockListed = 1, // the callers on the block list
        AllowKnown = 2   // only callers in the address book or on the allow list get through
    };
    Mode mode = Off;
    // What a blocked call gets: off-hook and hung up again after hangUpDelay; only silenced, the
    // line left alone; answered with the special information tone and an announcement; or
    // answered with the fax answer tone. The last two need a voice modem and hang up without.
    enum Treatment
    {
        HangUp,
        Silence,
        Announce,
        Fax
    };
    Treatment treatment = HangUp;
    bool blockWithheld = false; // in BlockListed mode; AllowKnown always blocks them
    // In BlockListed mode: a caller neither allowed, nor a contact, nor blocked by a rule is
    // answered and asked to press a key before anyone is disturbed.
    bool checkUnknown = false;
    int hangUpDelay = 2000; // milliseconds
    // In BlockListed mode, the rules that catch callers no list names:
    bool blockMarkers = true;  // caller-ID names that carriers and spoofers use to mark a call
    bool blockInvalid = false; // numbers that cannot exist in their country
    // "Neighbour spoofing": the household's own number but for its last four digits.
    QString ownNumber;
    bool blockNeighbours = false;
    int greylistMinutes = 0; // an unknown number rings only when it called this recently
    QTime quietFrom;         // both valid: only contacts and the allow list ring in between
    QTime quietTo;
};

// Decides, for each complete caller-ID record, whether the call is blocked, by the block and
// allow lists and the options, and makes every change to the lists, wherever it is asked for,
// with its event line. The lists are read again when they change; their lines that are no entry
// are reported when they are first read and whenever the file changes.
class CallScreen : public QObject
{
    Q_OBJECT
public:
    // The lists in the folder (blocked.txt, allowed.txt); the settings folder's ringdesk/ when
    // none is given. Imported lists in `importedFolder` (ImportedLists' own when none is given).
    explicit CallScreen(const QString& folder = QString(),
                        const QString& importedFolder = QString(), QObject* parent = nullptr);

    void setOptions(const ScreeningOptions& options) { m_options = options; }
    const ScreeningOptions& options() const { return m_options; }
    void setNumberPlan(const NumberPlan& plan) { m_plan = plan; }
    // When the number last called (its E.164 form, else as shown), for the greylist; an invalid
    // time when it never did.
    void setLastCall(std::function<QDateTime(const QString& number)> lastCall)
    {
        m_lastCall = std::move(lastCall);
    }
    // Reads both lists, reports what is wrong in them, and from now on reads them again as soon
    // as they change.
    void watchLists();

    struct Verdict
    {
        bool blocked = false;
        QString rule; // the entry or rule that blocked it, or would have but for permitNext()
        bool permitted = false; // let through once although `rule` blocks it
        QString treated;        // what the voice line does with it: "announced", "fax tone"
        bool check = false;     // to be asked for a key (checkUnknown), not to ring yet
        QString noCheck;        // why it could not be asked, and rings instead
    };
    // The allow list lets anyone through. A number the user put on the block list is blocked
    // even when it is a contact's: that is what "Block" means. Prefixes, name patterns and the
    // other rules never block a contact (the address book is asked only when it matters).
    Verdict decide(const CallerId& record, const std::function<bool()>& inAddressBook);

    // "Block" and "Unblock" wherever a call is shown, each with its event line. Block takes the
    // number off the allow list too; Unblock takes it off the block list in every spelling and,
    // where a prefix or a name pattern would still block the caller, puts the number on the
    // allow list. False, with an event line saying why, when it cannot be done.
    bool block(const QString& number);
    bool unblock(const QString& number, const QString& name = QString());
    // A caller who passed the human check goes on the allow list, with when and why.
    bool allowChecked(const QString& number, const QString& why);
    // Whether the lists block this caller now, whatever the mode: what the menus offer. Many
    // callers at once: the lists read again once, then `refreshed` false for each.
    bool isBlocked(const QString& number, const QString& name = QString(), bool refreshed = true);

    // The lists as the web page edits them: any entry, as written.
    enum class List
    {
        Blocked,
        Allowed
    };
    QStringList entries(List list);
    QList<ScreeningList::Problem> problems(List list);
    bool addEntry(List list, const QString& entry, QString* error);
    // The lines that held the entry, 0 when none did, or -1 (and why) when the list could not
    // be written.
    int removeEntry(List list, const QString& entry, QString* error);

    // The next call a rule would block rings instead, once; false, with an event line, when
    // screening is off.
    bool permitNext();
    bool nextPermitted() const { return m_permitNext; }

    // The imported lists, as the web page shows them, and a source dropped.
    QList<ImportedLists::Source> importedSources();
    bool dropSource(const QString& source, QString* error);

    QString blockedFile() const { return m_blocked.path(); }
    QString allowedFile() const { return m_allowed.path(); }

signals:
    void eventLine(const QString& line);

private:
    ScreeningList& list(List which) { return which == List::Blocked ? m_blocked : m_allowed; }
    // True when the file was read again.
    bool refresh(ScreeningList& list);
    void reportProblems(const ScreeningList& list);
    void listsChanged();
    // The rule that blocks this caller unless it is a contact; empty when none does.
    QString ruleFor(const CallerId& record, const ScreeningList::Hit& listed);
    QString neighbourRule(const QString& e164) const;
    bool quietNow() const;

    ScreeningOptions m_options;
    NumberPlan m_plan{QStringLiteral("US")};
    ScreeningList m_blocked;
    ScreeningList m_allowed;
    ImportedLists m_imported;
    std::function<QDateTime(const QString&)> m_lastCall;
    bool m_permitNext = false;
    QFileSystemWatcher m_watcher;
    QTimer m_settle; // a save comes as several changes; the lists are read once it is done
};

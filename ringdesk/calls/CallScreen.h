#pragma once

#include "calls/ScreeningList.h"
#include "modem/CallerId.h"
#include "numbers/NumberPlan.h"

#include <QObject>
#include <QSet>
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
    // Off-hook and hung up again after hangUpDelay; or only silenced, the line left alone.
    bool hangUp = true;
    bool blockWithheld = false; // in BlockListed mode; AllowKnown always blocks them
    int hangUpDelay = 2000;     // milliseconds
};

// Decides, for each complete caller-ID record, whether the call is blocked, by the block and
// allow lists and the options. The lists are read again when they change; a line that is no
// entry is reported once.
class CallScreen : public QObject
{
    Q_OBJECT
public:
    // The lists in the folder (blocked.txt, allowed.txt); the settings folder's ringdesk/ when
    // none is given.
    explicit CallScreen(const QString& folder = QString(), QObject* parent = nullptr);

    void setOptions(const ScreeningOptions& options) { m_options = options; }
    const ScreeningOptions& options() const { return m_options; }
    void setNumberPlan(const NumberPlan& plan) { m_plan = plan; }

    struct Verdict
    {
        bool blocked = false;
        QString rule; // the entry or rule that blocked it
    };
    // The allow list and the address book (asked only when it matters) are never blocked; then
    // the block list; then withheld callers; in AllowKnown mode everyone else is.
    Verdict decide(const CallerId& record, const std::function<bool()>& inAddressBook);

    // "Block" and "Unblock" wherever a call is shown: the number added to or taken from
    // blocked.txt. False, with an event line saying why, when it cannot be.
    bool block(const QString& number);
    bool unblock(const QString& number);
    // Whether the number is on the block list as a number of its own.
    bool isBlocked(const QString& number);

    // The lists as the web page edits them: any entry, as written.
    enum class List
    {
        Blocked,
        Allowed
    };
    QStringList entries(List list);
    bool addEntry(List list, const QString& entry, QString* error);
    bool removeEntry(List list, const QString& entry, QString* error);

    QString blockedFile() const { return m_blocked.path(); }
    QString allowedFile() const { return m_allowed.path(); }

signals:
    void eventLine(const QString& line);

private:
    void refresh(ScreeningList& list);

    ScreeningOptions m_options;
    NumberPlan m_plan{QStringLiteral("US")};
    ScreeningList m_blocked;
    ScreeningList m_allowed;
    QSet<QString> m_reported; // problems already in the event list
};

#pragma once

#include "calls/CallOptions.h"
#include "calls/CallRecord.h"
#include "calls/CallerContacts.h"
#include "modem/CallerId.h"

#include <QObject>

class CallHistory;
class CallLogFile;

// What the monitor does with one complete caller-ID record: split the name, look the caller up
// in the address book, create a contact or a journal entry as the options say, and log the call.
class CallProcessor : public QObject
{
    Q_OBJECT
public:
    CallProcessor(CallerContacts& contacts, CallLogFile& logFile, QObject* parent = nullptr);

    // Each returns the call as it was logged; a record that is no call (no DATE line) gives an
    // empty one, with no id.
    CallRecord processCallId(const CallerId& record, const CallOptions& options);
    // A call another monitor published: looked up and logged as one from our own modem, keeping
    // its id, time and line.
    CallRecord processRemote(const CallRecord& call, const CallOptions& options);

    // A call that screening blocked: logged and reported as any call, with the rule, and
    // nothing else done (no search, no contact, no journal entry).
    // `outcome`: what the voice line did with it, if anything ("announced", "fax tone").
    CallRecord logBlocked(const CallerId& record, const QString& rule, const QString& source,
                          const QString& outcome = QString());

    // The address book that later calls reach.
    void setContacts(CallerContacts& contacts) { m_contacts = &contacts; }
    // Where each call is remembered after CallLog.txt; none by default.
    void setHistory(CallHistory* history) { m_history = history; }

signals:
    void eventLine(const QString& line);
    // A call was logged (to the call log; the call list is the listener's).
    void callProcessed(const CallRecord& call);

private:
    CallRecord process(const CallerId& record, const CallOptions& options,
                       const CallRecord* remote);
    // The record's line in CallLog.txt, its fields copied into `call`; false when it could not be
    // written.
    bool writeLog(CallRecord& call, const CallerId& record, const CallRecord* remote);
    // The call with its ids, in the history, and reported.
    CallRecord remember(CallRecord call, const CallerId& record, const CallRecord* remote,
                        bool inLog);

    CallerContacts* m_contacts;
    CallLogFile& m_logFile;
    CallHistory* m_history = nullptr;
};

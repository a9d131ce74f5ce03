#pragma once

#include "calls/CallRecord.h"

#include <QObject>

class CallLogFile;
class ContactLink;
class MonitorState;

// What the monitor does with one complete caller-ID record: split the name, look the caller up
// in the address book, create a contact or a journal entry as the check boxes allow, log the call
// and reset the record.
class CallProcessor : public QObject
{
    Q_OBJECT
public:
    CallProcessor(MonitorState& state, ContactLink& contacts, CallLogFile& logFile);

    void ProcessCallID();
    // A call another monitor published: shown, looked up and logged as one from our own modem,
    // keeping its id, time and line.
    void processRemote(const CallRecord& call);

    // The address book that later calls reach.
    void setContacts(ContactLink& contacts) { m_contacts = &contacts; }

signals:
    // A call was logged (to the call list and the call log).
    void callProcessed(const CallRecord& call);

private:
    MonitorState& m_state;
    ContactLink* m_contacts;
    CallLogFile& m_logFile;
    const CallRecord* m_remote = nullptr;
};

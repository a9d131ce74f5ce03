#pragma once

#include "calls/AddressBookContacts.h"
#include "calls/CallHistory.h"
#include "calls/CallLogFile.h"
#include "calls/CallOptions.h"
#include "calls/CallProcessor.h"
#include "calls/CallScreen.h"
#include "calls/IncomingCall.h"
#include "calls/NoContacts.h"
#include "calls/RingingCall.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>

class AddressBook;
class EventLog;
class ModemControl;

// A call's way from any source to what is done with it: screened, hung up on or left silent when
// blocked, otherwise looked up and processed as the user's choices say; logged to CallLog.txt and
// the history either way, and its outcome added when the source tells it. Calls of the
// household's other monitors wait while a record of our own modem is arriving.
class CallPipeline : public QObject
{
    Q_OBJECT
public:
    enum class LineEvent
    {
        RingingStopped,
        Answered,
        EndedUnanswered,
        EndedAnswered
    };

    CallPipeline(EventLog& events, AddressBook& addressBook, ModemControl& modem,
                 QObject* parent = nullptr);

    // The parts the views and tools search or edit.
    CallScreen& screening() { return m_screen; }
    CallHistory& history() { return m_history; }
    CallLogFile& logFile() { return m_logFile; }
    AddressBookContacts& contacts() { return m_contacts; }

    void setNumberPlan(const NumberPlan& plan);
    void setLogFolder(const QString& folder) { m_logFile.setFolder(folder); }
    // Without an address book nobody is looked up and nothing is created.
    void setAddressBookUsable(bool usable);
    // What the user's choices ask of each call, read as each call comes.
    void setOptions(std::function<CallOptions()> options) { m_options = std::move(options); }
    // The history is opened on the call log; calls that waited for it are taken now.
    void openHistory();
    // The program is ending: calls from elsewhere are no longer taken.
    // The program is ending: calls that wait for CallLog.txt get a last try, and what still
    // cannot be written is said.
    void shutDown();

    // A ring of the modem's line.
    void ring();
    void take(const IncomingCall& call);
    // The source says its call `sourceId` was answered now.
    void answered(const QString& sourceId);
    // The source says how its call `sourceId` ended.
    void ended(const QString& sourceId, bool answered, int seconds);

    // What the user, the web page and the household ask.
    void block(const QString& number);
    void unblock(const QString& number, const QString& name = QString());
    void permitNext();
    void hangUpNow();
    // Refused, with an event line, when no call is ringing.
    void hangUpOnRequest();
    // Who answers blocked calls with a tone or an announcement (RingingCall::setVoiceLine).
    void setVoiceLine(RingingCall::VoiceLine voice)
    {
        m_ringingCall.setVoiceLine(std::move(voice));
    }
    // The voice line could not answer the blocked call it took: it is hung up on, and its
    // outcome says so.
    void voiceFailed();
    // Who asks callers nobody knows for a key (RingingCall::setCheckLine); checkDue() gives it
    // each such call, and checkDone() how it went: passed, the number is allowed from now on.
    void setCheckLine(std::function<QString()> whyNot)
    {
        m_ringingCall.setCheckLine(std::move(whyNot));
    }
    void checkDone(const QString& callId, bool passed, QChar key);
    // The call ringing now was blocked.
    bool ringingCallBlocked() const { return m_ringingCall.blockedRinging(); }
    void clearLog();

signals:
    // The caller's fields for the window, as a call from the box or the household shows them.
    void callerShown(const CallerId& record);
    // A caller was let through and rings: the chime, where the user wants it.
    void letThrough();
    // The window should come forward (when its "Maximize on Ring" box says so).
    void bringForward();
    // A call has been logged (and screened); `contact` is the card it found, if any.
    void callHandled(const CallRecord& call, const std::shared_ptr<AddressBookItem>& contact);
    // A call's outcome came from its source.
    void outcomeKnown(const CallRecord& call);
    void missedCall(const QString& contactName);
    // A call whose caller is to be asked for a key now, logged already.
    void checkDue(const CallRecord& call);
    // The call on `line` (the modem's device, or the box's line) went on, as far as its source
    // can tell: a modem knows only that the rings stopped, a FRITZ!Box the answer and the end.
    void lineEvent(CallPipeline::LineEvent event, const QString& line);

private:
    void takeFromModem(const IncomingCall& call);
    void takeFromBox(const IncomingCall& call);
    void takeWaitingCalls();
    void handled(CallRecord call, const IncomingCall& from);
    // The screening's event line for a caller it blocked or let through once.
    void sayVerdict(const CallerId& record, const CallScreen::Verdict& verdict);
    bool knownCaller(const CallerId& record) const;
    CallOptions options(const IncomingCall& call) const;

    EventLog& m_events;
    AddressBook& m_addressBook;
    ModemControl& m_modem;
    CallLogFile m_logFile;
    CallHistory m_history;
    NoContacts m_noContacts;
    AddressBookContacts m_contacts;
    CallProcessor m_processor;
    CallScreen m_screen;
    RingingCall m_ringingCall;
    std::function<CallOptions()> m_options;
    NumberPlan m_plan{QStringLiteral("US")};
    bool m_addressBookUsable = false;
    bool m_historyOpen = false;
    bool m_shuttingDown = false;
    bool m_toldBoxCannotHangUp = false;
    // The box's calls that rang, by its connection id, until they end.
    QHash<QString, CallRecord> m_boxCalls;
    CallRecord m_voiceCall;        // the blocked call the voice line answers
    CallRecord m_checkedCall;      // the call whose caller is being asked for a key
    QList<IncomingCall> m_waiting; // the household's, until no record of ours is arriving
    bool m_waitTimerSet = false;
};

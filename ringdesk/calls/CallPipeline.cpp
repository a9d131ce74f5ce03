#include "calls/CallPipeline.h"

#include "addressbook/AddressBook.h"
#include "calls/EventLog.h"
#include "common/Clock.h"
#include "common/SingleInstance.h"
#include "modem/ModemControl.h"

#include <QCryptographicHash>
#include <QTimer>
#include <malloc.h>

namespace {

// Calls whose end never came are not kept for ever.
constexpr qsizetype mostOpenBoxCalls = 64;

} // namespace

CallPipeline::CallPipeline(EventLog& events, AddressBook& addressBook, ModemControl& modem,
                           QObject* parent)
    : QObject(parent), m_events(events), m_addressBook(addressBook), m_modem(modem),
      m_contacts(addressBook), m_processor(m_noContacts, m_logFile), m_ringingCall(m_screen, modem)
{
    using Kind = EventLog::Kind;
    auto toEvents = [this](Kind kind) {
        return [this, kind](const QString& text) {
            m_events.append(text, kind);
        };
    };
    connect(&m_screen, &CallScreen::eventLine, this, toEvents(Kind::Screening));
    connect(&m_logFile, &CallLogFile::eventLine, this, toEvents(Kind::Call));
    connect(&m_noContacts, &CallerContacts::eventLine, this, toEvents(Kind::Call));
    connect(&m_contacts, &CallerContacts::eventLine, this, toEvents(Kind::Call));
    connect(&m_processor, &CallProcessor::eventLine, this, toEvents(Kind::Call));
    connect(&m_history, &CallHistory::eventLine, this, toEvents(Kind::Call));
    connect(&m_logFile, &CallLogFile::recordWritten, &m_history, &CallHistory::loggedLater);
    connect(&m_ringingCall, &RingingCall::bringForward, this, &CallPipeline::bringForward);
    connect(&m_ringingCall, &RingingCall::ringingStopped, this,
            [this] { emit lineEvent(LineEvent::RingingStopped, m_modem.device()); });
    m_processor.setHistory(&m_history);
    // Blocked calls are in the history too: a second try finds the first.
    m_screen.setLastCall([this](const QString& number) {
        const QList<CallRecord> last = m_history.page(1, 0, QString(), number);
        return last.isEmpty() ? QDateTime() : last.first().received;
    });
}

void CallPipeline::setNumberPlan(const NumberPlan& plan)
{
    m_plan = plan;
    m_contacts.setNumberPlan(plan);
    m_screen.setNumberPlan(plan);
}

void CallPipeline::setAddressBookUsable(bool usable)
{
    m_addressBookUsable = usable;
    if (usable)
        m_processor.setContacts(m_contacts);
    else
        m_processor.setContacts(m_noContacts);
}

void CallPipeline::openHistory()
{
    m_history.setE164([plan = m_plan](const QString& number) { return plan.e164(number); });
    // One file per log folder: the demo's calls are not the user's.
    const QByteArray folder =
        QCryptographicHash::hash(m_logFile.folder().toUtf8(), QCryptographicHash::Sha1).toHex();
    m_logFile.setKeptApart(SingleInstance::runtimeFolder() +
                           QStringLiteral("/ringdesk-unwritten-") +
                           QString::fromLatin1(folder.left(12)) + QStringLiteral(".txt"));
    m_logFile.takeKeptApart();
    m_history.open(m_logFile.folder(), m_logFile.loadRecords());
    // The log was read whole once, to find what the history lacks; that memory goes back.
    malloc_trim(0);
    m_historyOpen = true;
    takeWaitingCalls();
}

CallOptions CallPipeline::options(const IncomingCall& call) const
{
    CallOptions options = m_options ? m_options() : CallOptions();
    options.source = call.where;
    return options;
}

bool CallPipeline::knownCaller(const CallerId& record) const
{
    if (!m_addressBookUsable)
        return false;
    const QString number = record.e164.isEmpty() ? record.number : record.e164;
    return m_addressBook.findContact(ContactQuery::numberAlone(number), m_plan).item != nullptr;
}

void CallPipeline::sayVerdict(const CallerId& record, const CallScreen::Verdict& verdict)
{
    const QString caller = record.number.isEmpty() ? record.name : record.number;
    if (!verdict.noCheck.isEmpty())
        m_events.append(QStringLiteral("[%1 cannot be asked for a key: %2; it rings]")
                            .arg(caller, verdict.noCheck));
    if (verdict.permitted)
        m_events.append(QStringLiteral("[Let through once: %1, which screening would block (%2)]")
                            .arg(caller, verdict.rule));
    if (verdict.blocked && verdict.treated.isEmpty())
        m_events.append(QStringLiteral("[Blocked %1: %2]").arg(caller, verdict.rule));
    else if (verdict.blocked)
        m_events.append(
            QStringLiteral("[Blocked %1: %2; %3]").arg(caller, verdict.rule, verdict.treated));
}

void CallPipeline::ring()
{
    m_ringingCall.ring();
}

void CallPipeline::take(const IncomingCall& call)
{
    switch (call.source) {
    case IncomingCall::Source::Modem:
        takeFromModem(call);
        return;
    case IncomingCall::Source::FritzBox:
        takeFromBox(call);
        return;
    case IncomingCall::Source::Household:
        m_waiting.append(call);
        takeWaitingCalls();
        return;
    }
}

void CallPipeline::takeFromModem(const IncomingCall& call)
{
    const CallerId& record = call.record;
    const CallScreen::Verdict verdict =
        m_ringingCall.decide(record, [this, &record] { return knownCaller(record); });
    sayVerdict(record, verdict);
    if (verdict.blocked) {
        CallRecord blocked =
            m_processor.logBlocked(record, verdict.rule, call.where, verdict.treated);
        m_voiceCall = verdict.treated.isEmpty() ? CallRecord() : blocked;
        handled(blocked, call);
        return;
    }
    if (verdict.check) {
        // No card or journal entry for a caller who may be a machine.
        CallOptions checking = options(call);
        checking.createContact = checking.createJournal = false;
        CallRecord checked = m_processor.processCallId(record, checking);
        checked.checking = true;
        m_checkedCall = checked;
        handled(checked, call);
        emit checkDue(checked);
        return;
    }
    emit letThrough();
    handled(m_processor.processCallId(record, options(call)), call);
}

void CallPipeline::checkDone(const QString& callId, bool passed, QChar key)
{
    if (callId.isEmpty() || m_checkedCall.id != callId)
        return;
    CallRecord call = std::exchange(m_checkedCall, CallRecord());
    const QString caller = call.number.isEmpty() ? call.name : call.number;
    if (passed && call.withheld == CallRecord::Withheld::No && !call.digits().isEmpty())
        m_screen.allowChecked(call.number,
                              QStringLiteral("pressed %1 when asked, %2")
                                  .arg(key)
                                  .arg(Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    else if (!passed)
        m_events.append(QStringLiteral("[Blocked %1: did not press %2]").arg(caller).arg(key),
                        EventLog::Kind::Screening);
    call.checking = false;
    call.outcome = passed ? QStringLiteral("passed the check") : QStringLiteral("failed the check");
    m_history.setOutcome(call.historyId, call.id, call.outcome, 0);
    emit outcomeKnown(call);
}

void CallPipeline::voiceFailed()
{
    m_ringingCall.hangUp();
    if (m_voiceCall.id.isEmpty())
        return;
    CallRecord call = std::exchange(m_voiceCall, CallRecord());
    call.outcome = QStringLiteral("hung up");
    m_history.setOutcome(call.historyId, call.id, call.outcome, 0);
    emit outcomeKnown(call);
}

void CallPipeline::takeFromBox(const IncomingCall& call)
{
    const CallerId& record = call.record;
    emit callerShown(record);
    const CallScreen::Verdict verdict =
        m_screen.decide(record, [this, &record] { return knownCaller(record); });
    sayVerdict(record, verdict);
    if (verdict.blocked) {
        if (!std::exchange(m_toldBoxCannotHangUp, true))
            m_events.append(QStringLiteral("[Screening cannot hang up calls that come through "
                                           "the FRITZ!Box: they ring on; the box's own call "
                                           "barring can stop them]"));
        handled(m_processor.logBlocked(record, verdict.rule, call.where), call);
        return;
    }
    emit letThrough();
    handled(m_processor.processCallId(record, options(call)), call);
}

void CallPipeline::takeWaitingCalls()
{
    // They join the call list after the calls of earlier runs. A record of our own modem that is
    // still arriving owns the caller fields until it is logged.
    while (m_historyOpen && !m_waiting.isEmpty() && !m_shuttingDown) {
        if (m_modem.recordUnderWay()) {
            if (!std::exchange(m_waitTimerSet, true))
                QTimer::singleShot(50, this, [this] {
                    m_waitTimerSet = false;
                    takeWaitingCalls();
                });
            return;
        }
        const IncomingCall incoming = m_waiting.takeFirst();
        const CallRecord& call = incoming.handled;
        m_events.append(
            QStringLiteral("[Call from %1, on the household's broker]")
                .arg(call.line.isEmpty() ? call.origin : call.origin + u' ' + call.line));
        if (call.blocked) {
            m_events.append(
                QStringLiteral("[Blocked %1: %2]")
                    .arg(call.number.isEmpty() ? call.name : call.number, call.blockRule));
        } else {
            CallerId shown;
            shown.date = call.date;
            shown.time = call.time;
            shown.number = call.number;
            shown.name = call.name;
            emit callerShown(shown);
        }
        handled(m_processor.processRemote(call, options(incoming)), incoming);
    }
}

void CallPipeline::handled(CallRecord call, const IncomingCall& from)
{
    if (call.id.isEmpty())
        return; // a record that was no call
    if (from.source == IncomingCall::Source::FritzBox) {
        call.line = from.line;
        if (m_boxCalls.size() > mostOpenBoxCalls)
            m_boxCalls.clear();
        m_boxCalls.insert(from.sourceId, call);
    }
    emit callHandled(call, call.contactFound ? m_contacts.lastFound() : nullptr);
}

void CallPipeline::answered(const QString& sourceId)
{
    const auto found = m_boxCalls.constFind(sourceId);
    if (found != m_boxCalls.cend())
        emit lineEvent(LineEvent::Answered, found->line);
}

void CallPipeline::ended(const QString& sourceId, bool answered, int seconds)
{
    auto found = m_boxCalls.find(sourceId);
    if (found == m_boxCalls.end())
        return;
    CallRecord call = *found;
    m_boxCalls.erase(found);
    emit lineEvent(answered ? LineEvent::EndedAnswered : LineEvent::EndedUnanswered, call.line);
    call.outcome = answered ? QStringLiteral("answered") : QStringLiteral("missed");
    call.duration = answered ? seconds : 0;
    m_history.setOutcome(call.historyId, call.id, call.outcome, call.duration);
    emit outcomeKnown(call);
    const QString caller = call.caller();
    m_events.append(answered
                        ? QStringLiteral("[Call from %1 answered: %2 s]").arg(caller).arg(seconds)
                        : QStringLiteral("[Missed call from %1]").arg(caller));
    if (!answered && !call.blocked && call.contactFound)
        emit missedCall(call.contactName);
}

void CallPipeline::block(const QString& number)
{
    if (number.trimmed().isEmpty())
        return; // a withheld caller: nothing to block by
    if (!m_screen.block(number))
        return;
    if (m_screen.options().mode == ScreeningOptions::Off)
        m_events.append(QStringLiteral("[Screening is off: the number is blocked once it is on "
                                       "(ringdesk-config, \"Screening\")]"));
}

void CallPipeline::unblock(const QString& number, const QString& name)
{
    if (number.trimmed().isEmpty())
        return;
    m_screen.unblock(number, name);
}

void CallPipeline::permitNext()
{
    m_screen.permitNext();
}

void CallPipeline::hangUpNow()
{
    m_ringingCall.hangUp();
}

void CallPipeline::hangUpOnRequest()
{
    // Off-hook with nothing ringing would answer the next caller or block the line for a
    // call the user is about to make.
    if (!m_ringingCall.ringing() && !m_modem.hangingUp()) {
        m_events.append(QStringLiteral("[Hang up refused: no call is ringing]"));
        return;
    }
    hangUpNow();
}

void CallPipeline::clearLog()
{
    m_logFile.clearCallLog();
    m_history.clear();
}

void CallPipeline::shutDown()
{
    m_shuttingDown = true;
    m_logFile.writeUnwritten();
    if (m_logFile.unwritten() == 0)
        return;
    // Neither the log nor, on the same full disk, the history may take them; memory's own
    // file system keeps them for the next start.
    if (m_logFile.keepApart())
        m_events.append(QStringLiteral("[%1 calls could not be written to %2 before the end; "
                                       "they wait in %3 and go into it at the next start]")
                            .arg(m_logFile.unwritten())
                            .arg(m_logFile.callLogPath(), m_logFile.keptApartPath()),
                        EventLog::Kind::Call);
    else
        m_events.append(QStringLiteral("[%1 calls could not be written to %2 before the "
                                       "end, nor kept apart; the history has them where it "
                                       "could be written]")
                            .arg(m_logFile.unwritten())
                            .arg(m_logFile.callLogPath()),
                        EventLog::Kind::Call);
}

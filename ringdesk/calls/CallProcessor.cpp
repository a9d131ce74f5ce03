#include "calls/CallProcessor.h"

#include "common/Conversions.h"
#include "common/SettingsTable.h"

#include "calls/CallLogFile.h"
#include "calls/ContactFilters.h"
#include "calls/ContactLink.h"
#include "numbers/PhoneNumber.h"
#include "state/MonitorState.h"

#include <QUuid>

CallProcessor::CallProcessor(MonitorState& state, ContactLink& contacts, CallLogFile& logFile)
    : m_state(state), m_contacts(&contacts), m_logFile(logFile)
{
}

void CallProcessor::ProcessCallID()
{
    MonitorState& s = m_state;
    s.ContactFound = 0;

    const PhoneNumber::Names names =
        PhoneNumber::GetFirstLastName(s.field(MonitorState::CallIDName));
    s.CallerLastName = names.last;
    s.CallerFirstName = names.first;

    const QString number = s.field(MonitorState::CallIDNumber);
    const QString withPrefix = PhoneNumber::SearchNumberWithPrefix(number);
    const QString withoutPrefix = PhoneNumber::SearchNumberWithoutPrefix(number);

    // Every condition is read afresh: a search may change the fields, the names and the boxes.
    auto namePresent = [&s] {
        return !s.field(MonitorState::CallIDName).isEmpty();
    };
    auto numberPresent = [&s] {
        return !s.field(MonitorState::CallIDNumber).isEmpty();
    };
    auto searching = [&s] {
        return s.CallRecordState == 1 && s.check(2) == 1;
    };

    if (namePresent() && numberPresent() && searching())
        m_contacts->SearchInContact(
            ContactFilters::nameAndNumber(s.CallerLastName, s.CallerFirstName, withPrefix));
    if (s.ContactFound == 0 && namePresent() && numberPresent() && searching())
        m_contacts->SearchInContact(
            ContactFilters::nameAndNumber(s.CallerLastName, s.CallerFirstName, withoutPrefix));
    // Caller-ID names ("WIRELESS CALLER", a billing name) rarely equal the stored ones; where the
    // user asks for it, a known number is enough.
    const bool numberAlone = namePresent() && numberPresent() && searching() &&
                             Conversions::numericEquals(Settings::MatchNumberOnly.read(), 1);
    if (s.ContactFound == 0 && numberAlone)
        m_contacts->SearchInContact(ContactFilters::numberOnly(withPrefix));
    if (s.ContactFound == 0 && numberAlone)
        m_contacts->SearchInContact(ContactFilters::numberOnly(withoutPrefix));
    if (namePresent() && !numberPresent() && searching())
        m_contacts->SearchInContact(ContactFilters::nameOnly(s.CallerLastName, s.CallerFirstName));
    if (!namePresent() && numberPresent() && searching())
        m_contacts->SearchInContact(ContactFilters::numberOnly(withPrefix));
    if (s.ContactFound == 0 && !namePresent() && numberPresent() && searching())
        m_contacts->SearchInContact(ContactFilters::numberOnly(withoutPrefix));

    if (s.ContactFound == 0 && s.CallRecordState == 1 && s.checkEnabled(3) && s.check(3) == 1) {
        s.appendEvent(QStringLiteral("[Creating New Contact]"));
        m_contacts->CreateContact(QStringLiteral("Name"));
    }
    if (s.ContactFound == 1 && s.CallRecordState == 1 && s.check(5) == 1) {
        s.appendEvent(QStringLiteral("[Creating New Journal]"));
        m_contacts->CreateJournal(QStringLiteral("Name"));
    }

    if (s.CallRecordState != 0) {
        const QString CallLogLine =
            s.field(MonitorState::CallIDDate) + u' ' + s.field(MonitorState::CallIDTime) + u' ' +
            s.field(MonitorState::CallIDNumber) + u' ' + s.field(MonitorState::CallIDName);
        const int row = s.Calllog.rowCount();
        s.Calllog.insertRows(row, 1);
        s.Calllog.setData(s.Calllog.index(row), CallLogLine);
        m_logFile.AppendCallLogRecord(CallLogLine);
        CallRecord call;
        call.date = s.field(MonitorState::CallIDDate);
        call.time = s.field(MonitorState::CallIDTime);
        call.number = s.field(MonitorState::CallIDNumber);
        call.name = s.field(MonitorState::CallIDName);
        call.contactFound = s.ContactFound == 1;
        if (call.contactFound) {
            call.contactFirst = s.CallerFirstName;
            call.contactLast = s.CallerLastName;
            call.contactCompany = s.CallerCompany;
        }
        if (s.CallRecordState == 2)
            call.withheld = call.number == QLatin1String("Out of Area")
                                ? CallRecord::Withheld::OutOfArea
                                : CallRecord::Withheld::Private;
        if (m_remote) {
            call.id = m_remote->id;
            call.received = m_remote->received;
            call.line = m_remote->line;
            call.origin = m_remote->origin;
        } else {
            call.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            call.received = QDateTime::currentDateTime();
        }
        emit callProcessed(call);
    }
    s.CallRecordState = 0;
}

void CallProcessor::processRemote(const CallRecord& call)
{
    MonitorState& s = m_state;
    s.setField(MonitorState::CallIDDate, call.date);
    s.setField(MonitorState::CallIDTime, call.time);
    s.setField(MonitorState::CallIDNumber, call.number);
    s.setField(MonitorState::CallIDName, call.name);
    s.CallRecordState = call.withheld == CallRecord::Withheld::No ? 1 : 2;
    m_remote = &call;
    ProcessCallID();
    m_remote = nullptr;
}

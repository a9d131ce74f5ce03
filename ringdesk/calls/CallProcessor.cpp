#include "calls/CallProcessor.h"
#include "common/Clock.h"

#include "addressbook/ContactItem.h"
#include "calls/CallHistory.h"
#include "calls/CallLogFile.h"
#include "calls/CallerName.h"
#include "numbers/PhoneNumber.h"

#include <QUuid>

CallProcessor::CallProcessor(CallerContacts& contacts, CallLogFile& logFile, QObject* parent)
    : QObject(parent), m_contacts(&contacts), m_logFile(logFile)
{
}

CallRecord CallProcessor::processCallId(const CallerId& record, const CallOptions& options)
{
    return process(record, options, nullptr);
}

CallRecord CallProcessor::processRemote(const CallRecord& call, const CallOptions& options)
{
    CallerId record;
    record.date = call.date;
    record.time = call.time;
    record.number = call.number;
    record.e164 = call.e164;
    record.name = call.name;
    record.begun = true;
    record.withheld = call.withheld != CallRecord::Withheld::No;
    if (call.blocked) {
        // The publisher's screening decided: nothing is looked up or created for the caller.
        CallRecord blocked;
        blocked.blocked = true;
        blocked.blockRule = call.blockRule;
        const bool inLog = writeLog(blocked, record, &call);
        return remember(blocked, record, &call, inLog);
    }
    return process(record, options, &call);
}

CallRecord CallProcessor::process(const CallerId& record, const CallOptions& options,
                                  const CallRecord* remote)
{
    const CallerName split = CallerName::split(record.name);
    QString lastName = split.last;
    QString firstName = split.first;
    QString company = split.company;

    const QString& number = record.number;
    // A number that reads as E.164 is looked for as such (the North American forms with and
    // without "+1" are the same number then); others in the two forms they may be stored in.
    const QString withPrefix =
        record.e164.isEmpty() ? PhoneNumber::searchNumberWithPrefix(number) : record.e164;
    const QString withoutPrefix =
        record.e164.isEmpty() ? PhoneNumber::searchNumberWithoutPrefix(number) : record.e164;
    const bool namePresent = !record.name.isEmpty();
    const bool numberPresent = !number.isEmpty();
    // Only a record with a number that was not withheld is a caller to look for.
    const bool identified = record.begun && !record.withheld;
    const bool searching = identified && options.searchContacts;

    std::optional<FoundContact> found;
    auto search = [&](const ContactQuery& query) {
        found = m_contacts->find(query, record.name, record.number);
    };
    // A company's caller-ID name is looked for as the card's company, a person's as its names.
    auto byName = [&](const QString& number) {
        ContactQuery query = company.isEmpty() ? ContactQuery::name(lastName, firstName)
                                               : ContactQuery::companyNamed(company);
        if (!number.isNull())
            query.number = number;
        return query;
    };
    if (namePresent && numberPresent && searching)
        search(byName(withPrefix));
    if (!found && namePresent && numberPresent && searching)
        search(byName(withoutPrefix));
    // Caller-ID names ("WIRELESS CALLER", a billing name) rarely equal the stored ones; where the
    // user asks for it, a known number is enough.
    const bool numberAlone = namePresent && numberPresent && searching && options.matchNumberOnly;
    if (!found && numberAlone)
        search(ContactQuery::numberAlone(withPrefix));
    if (!found && numberAlone)
        search(ContactQuery::numberAlone(withoutPrefix));
    if (namePresent && !numberPresent && searching)
        search(byName(QString()));
    if (!namePresent && numberPresent && searching)
        search(ContactQuery::numberAlone(withPrefix));
    if (!found && !namePresent && numberPresent && searching)
        search(ContactQuery::numberAlone(withoutPrefix));
    if (found) {
        // The contact's own names where it has them; its company always, also when it has none:
        // a journal entry must never carry the company of an earlier caller.
        if (!found->firstName.isEmpty())
            firstName = found->firstName;
        if (!found->lastName.isEmpty())
            lastName = found->lastName;
        company = found->company;
    }

    if (!record.begun)
        return {};
    CallRecord call;
    call.source = options.source;
    call.contactFound = found.has_value();
    if (found) {
        call.contactFirst = firstName;
        call.contactLast = lastName;
        call.contactCompany = company;
        call.contactName = (firstName + u' ' + lastName).trimmed();
        if (call.contactName.isEmpty())
            call.contactName = company;
        call.contactUid = !found->item                    ? QString()
                          : !found->item->uid().isEmpty() ? found->item->uid()
                                                          : found->item->fileName();
    }
    // The call is in CallLog.txt before the address book is written to: a new card or journal
    // entry takes longer than the record it comes from.
    const bool inLog = writeLog(call, record, remote);
    if (!found && identified && options.createContact && m_contacts->unanswered()) {
        // A caller the address book could not be asked about may well be in it.
        emit eventLine(QStringLiteral("[No new contact: the address book did not answer]"));
    } else if (!found && identified && options.createContact) {
        emit eventLine(QStringLiteral("[Creating New Contact]"));
        m_contacts->createContact(CallerContacts::NewFor::Name, record.name, record.number);
    }
    if (found && identified && options.createJournal) {
        emit eventLine(QStringLiteral("[Creating New Journal]"));
        m_contacts->createJournal(true, call.contactName, record.name, company);
    }
    return remember(call, record, remote, inLog);
}

CallRecord CallProcessor::logBlocked(const CallerId& record, const QString& rule,
                                     const QString& source, const QString& outcome)
{
    CallRecord call;
    call.blocked = true;
    call.outcome = outcome;
    call.blockRule = rule;
    call.source = source;
    const bool inLog = writeLog(call, record, nullptr);
    return remember(call, record, nullptr, inLog);
}

bool CallProcessor::writeLog(CallRecord& call, const CallerId& record, const CallRecord* remote)
{
    // Made here: a record that waits for the file is known by it when it is written.
    call.id = remote ? remote->id : QUuid::createUuid().toString(QUuid::WithoutBraces);
    call.date = record.date;
    call.time = record.time;
    call.number = record.number;
    call.e164 = record.e164;
    call.name = record.name;
    return m_logFile.appendRecord(call.logLine(), call.id);
}

CallRecord CallProcessor::remember(CallRecord call, const CallerId& record,
                                   const CallRecord* remote, bool inLog)
{
    if (record.withheld)
        call.withheld = call.number == QLatin1String("Out of Area")
                            ? CallRecord::Withheld::OutOfArea
                            : CallRecord::Withheld::Private;
    if (remote) {
        call.received = remote->received;
        call.line = remote->line;
        call.origin = remote->origin;
        call.source =
            remote->line.isEmpty() ? remote->origin : remote->origin + u' ' + remote->line;
    } else {
        call.received = Clock::now();
    }
    // CallLog.txt first: users and other programs read it.
    if (m_history)
        call.historyId = m_history->add(call, inLog);
    emit callProcessed(call);
    return call;
}

#include "calls/IncomingCall.h"

#include "numbers/PhoneNumber.h"

IncomingCall IncomingCall::fromModem(const CallerId& record, const QString& device)
{
    IncomingCall call;
    call.source = Source::Modem;
    call.record = record;
    call.line = device;
    call.where = device;
    call.canHangUp = true;
    return call;
}

IncomingCall IncomingCall::fromFritzBox(const QString& id, const QDateTime& when,
                                        const QString& caller, const QString& line,
                                        const QString& boxAddress, const NumberPlan& plan)
{
    IncomingCall call;
    call.source = Source::FritzBox;
    CallerId& record = call.record;
    record.begun = true;
    record.date = when.toString(QStringLiteral("MM/dd"));
    record.time = when.toString(QStringLiteral("HH:mm"));
    const QString digits = PhoneNumber::digits(caller);
    if (digits.isEmpty()) {
        record.withheld = true;
        record.number = QStringLiteral("Private");
    } else {
        record.number = plan.display(caller.startsWith(u'+') ? u'+' + digits : digits);
        record.e164 = plan.e164(caller);
    }
    call.line = line;
    call.where = QStringLiteral("FRITZ!Box %1 %2").arg(boxAddress, line).trimmed();
    call.sourceId = id;
    return call;
}

IncomingCall IncomingCall::fromHousehold(const CallRecord& handled)
{
    IncomingCall call;
    call.source = Source::Household;
    call.handled = handled;
    call.line = handled.line;
    call.where = handled.source;
    return call;
}

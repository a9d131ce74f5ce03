#pragma once

#include "calls/CallRecord.h"
#include "modem/CallerId.h"
#include "numbers/NumberPlan.h"

#include <QDateTime>
#include <QString>

// One call as a source hands it over: the modem, a FRITZ!Box or another monitor of the
// household. Everything the call's way needs to know of where it came from travels with it.
struct IncomingCall
{
    enum class Source
    {
        Modem,
        FritzBox,
        Household
    };

    Source source = Source::Modem;
    // The caller as the modem or the box reported it.
    CallerId record;
    // A call another monitor has already taken, with its id, time, line and verdict.
    CallRecord handled;
    // The modem's device, or the box's line ("SIP0").
    QString line;
    // Where the history says the call came from: the modem's port, "FRITZ!Box HOST SIP0".
    QString where;
    // Only the modem's line can be taken off-hook to cut a blocked caller off.
    bool canHangUp = false;
    // The source's own id of the call (the box's connection id), which its end names.
    QString sourceId;

    static IncomingCall fromModem(const CallerId& record, const QString& device);
    // A box's numbers are in its country's national form: they are read in the user's plan.
    static IncomingCall fromFritzBox(const QString& id, const QDateTime& when,
                                     const QString& caller, const QString& line,
                                     const QString& boxAddress, const NumberPlan& plan);
    static IncomingCall fromHousehold(const CallRecord& call);
};

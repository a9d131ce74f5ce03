#pragma once

#include "calls/CallRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>

// A call as one JSON object on the household's message bus, and back.
namespace CallMessage {

// `client` names the monitor that publishes it, so it can know its own calls when they return.
QByteArray toJson(const CallRecord& call, const QString& client);
// Nothing for a message that is not a call of ours: not JSON, or without an id or a date.
std::optional<CallRecord> fromJson(const QByteArray& json);

// What may be asked of the monitor on <prefix>/command: {"action":"block","number":"…"},
// {"action":"unblock","number":"…"}, {"action":"hangup"} or {"action":"permit_next"}. Nothing
// for anything else.
struct Command
{
    enum Action
    {
        Block,
        Unblock,
        HangUp,
        PermitNext // the next call screening would block rings, once
    };
    Action action = HangUp;
    QString number;
    QString name; // the caller-ID name, for an Unblock of a caller a name pattern blocks
};
std::optional<Command> commandFromJson(const QByteArray& json);

// Home Assistant's discovery messages for one monitor: an event entity for each call (of types
// "call" and "blocked"), a sensor that holds the last caller and a button that hangs up the call
// ringing now, all tied to one device.
struct Discovery
{
    QString topic;
    QByteArray payload;
};
QList<Discovery> homeAssistant(const QString& prefix, const QString& clientId);

} // namespace CallMessage

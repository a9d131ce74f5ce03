#include "bus/CallMessage.h"
#include "common/Clock.h"

#include "common/CleanText.h"
#include "common/CommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace CallMessage {

namespace {

QJsonValue withheldValue(CallRecord::Withheld withheld)
{
    switch (withheld) {
    case CallRecord::Withheld::Private:
        return QStringLiteral("private");
    case CallRecord::Withheld::OutOfArea:
        return QStringLiteral("out_of_area");
    case CallRecord::Withheld::No:
        break;
    }
    return QJsonValue::Null;
}

// Topic levels and Home Assistant's ids keep to letters, digits, '_' and '-'.
QString idSafe(const QString& text)
{
    QString safe;
    for (QChar c : text)
        safe.append((c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_'));
    return safe;
}

} // namespace

QByteArray toJson(const CallRecord& call, const QString& client)
{
    QJsonObject o;
    // Home Assistant's event entity takes the event's type from this key.
    o.insert(QStringLiteral("event_type"),
             call.blocked ? QStringLiteral("blocked") : QStringLiteral("call"));
    o.insert(QStringLiteral("id"), call.id);
    o.insert(QStringLiteral("date"), call.date);
    o.insert(QStringLiteral("time"), call.time);
    o.insert(QStringLiteral("number"), call.number);
    o.insert(QStringLiteral("name"), call.name);
    o.insert(QStringLiteral("digits"), call.digits());
    o.insert(QStringLiteral("e164"), call.e164);
    o.insert(QStringLiteral("withheld"), withheldValue(call.withheld));
    o.insert(QStringLiteral("blocked"), call.blocked);
    if (call.blocked)
        o.insert(QStringLiteral("block_rule"), call.blockRule);
    if (call.contactFound)
        o.insert(QStringLiteral("contact"),
                 QJsonObject{{QStringLiteral("first"), call.contactFirst},
                             {QStringLiteral("last"), call.contactLast},
                             {QStringLiteral("company"), call.contactCompany}});
    else
        o.insert(QStringLiteral("contact"), QJsonValue::Null);
    o.insert(
        QStringLiteral("received"),
        call.received.toOffsetFromUtc(call.received.offsetFromUtc()).toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("line"), call.line);
    if (!call.outcome.isEmpty()) {
        o.insert(QStringLiteral("outcome"), call.outcome);
        o.insert(QStringLiteral("duration"), call.duration);
    }
    o.insert(QStringLiteral("client"), client);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<CallRecord> fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    // A message may come from anyone on the bus: each text is cleaned, and only what fits the
    // window's fields is taken.
    auto field = [&o](const char* key, int limit) {
        return CleanText::truncated(CleanText::field(o.value(QLatin1String(key)).toString()),
                                    limit);
    };
    CallRecord call;
    call.id = field("id", 64);
    call.date = field("date", 16);
    if (call.id.trimmed().isEmpty() || call.date.trimmed().isEmpty())
        return std::nullopt;
    call.time = field("time", 16);
    call.number = field("number", 64);
    call.e164 = field("e164", 32);
    call.name = field("name", 128);
    call.line = field("line", 256);
    call.origin = field("client", 256);
    call.blocked = o.value(QStringLiteral("blocked")).toBool();
    call.blockRule = field("block_rule", 256);
    const QString withheld = o.value(QStringLiteral("withheld")).toString();
    if (withheld == QLatin1String("private"))
        call.withheld = CallRecord::Withheld::Private;
    else if (withheld == QLatin1String("out_of_area"))
        call.withheld = CallRecord::Withheld::OutOfArea;
    call.received =
        QDateTime::fromString(o.value(QStringLiteral("received")).toString(), Qt::ISODateWithMs);
    if (!call.received.isValid())
        call.received = Clock::now();
    return call;
}

std::optional<Command> commandFromJson(const QByteArray& json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const QString action = o.value(QStringLiteral("action")).toString();
    Command command;
    command.number = CleanText::field(o.value(QStringLiteral("number")).toString().left(64));
    command.name = CleanText::field(o.value(QStringLiteral("name")).toString().left(64));
    if (action == QLatin1String("hangup"))
        command.action = Command::HangUp;
    else if (action == QLatin1String("permit_next"))
        command.action = Command::PermitNext;
    else if (action == QLatin1String("block") && !command.number.trimmed().isEmpty())
        command.action = Command::Block;
    else if (action == QLatin1String("unblock") && !command.number.trimmed().isEmpty())
        command.action = Command::Unblock;
    else
        return std::nullopt;
    return command;
}

QList<Discovery> homeAssistant(const QString& prefix, const QString& clientId)
{
    const QString node = idSafe(clientId);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), QStringLiteral("Ringwatch caller ID")},
        {QStringLiteral("manufacturer"), QStringLiteral("Ringwatch")},
        {QStringLiteral("model"), QStringLiteral("ringdesk")},
        {QStringLiteral("sw_version"), CommandLine::version()},
    };
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("ringdesk")},
                             {QStringLiteral("sw_version"), CommandLine::version()}};
    const QString status = prefix + QStringLiteral("/status");
    auto common = [&](const QString& object, const QString& name) {
        return QJsonObject{
            {QStringLiteral("name"), name},
            {QStringLiteral("unique_id"), node + u'_' + object},
            {QStringLiteral("availability_topic"), status},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"), device},
            {QStringLiteral("origin"), origin},
            // A call must survive Home Assistant's reconnects as it survives ours.
            {QStringLiteral("qos"), 1},
        };
    };

    QJsonObject event = common(QStringLiteral("call"), QStringLiteral("Call"));
    event.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/call"));
    event.insert(QStringLiteral("event_types"),
                 QJsonArray{QStringLiteral("call"), QStringLiteral("blocked")});
    event.insert(QStringLiteral("icon"), QStringLiteral("mdi:phone-incoming"));

    QJsonObject sensor = common(QStringLiteral("last_caller"), QStringLiteral("Last caller"));
    sensor.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/last_call"));
    // The name when the network gave one, else the number ("Private" for a withheld one).
    sensor.insert(
        QStringLiteral("value_template"),
        QStringLiteral("{{ value_json.name if value_json.name else value_json.number }}"));
    sensor.insert(QStringLiteral("json_attributes_topic"), prefix + QStringLiteral("/last_call"));
    sensor.insert(QStringLiteral("icon"), QStringLiteral("mdi:card-account-phone"));

    QJsonObject button = common(QStringLiteral("hangup"), QStringLiteral("Hang up"));
    button.insert(QStringLiteral("command_topic"), prefix + QStringLiteral("/command"));
    button.insert(QStringLiteral("payload_press"), QStringLiteral("{\"action\":\"hangup\"}"));
    button.insert(QStringLiteral("icon"), QStringLiteral("mdi:phone-hangup"));

    // The answering machine: how many messages nobody has heard, and an event for each new one.
    QJsonObject unheard =
        common(QStringLiteral("unheard_messages"), QStringLiteral("Unheard messages"));
    unheard.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/messages"));
    unheard.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.unheard }}"));
    unheard.insert(QStringLiteral("json_attributes_topic"), prefix + QStringLiteral("/messages"));
    unheard.insert(QStringLiteral("icon"), QStringLiteral("mdi:voicemail"));
    QJsonObject message = common(QStringLiteral("message"), QStringLiteral("Message"));
    message.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/message"));
    message.insert(QStringLiteral("event_types"), QJsonArray{QStringLiteral("message")});
    message.insert(QStringLiteral("icon"), QStringLiteral("mdi:voicemail"));

    const QString base = QStringLiteral("homeassistant/%1/") + node + QStringLiteral("/%2/config");
    return {
        {base.arg(QStringLiteral("event"), QStringLiteral("call")),
         QJsonDocument(event).toJson(QJsonDocument::Compact)},
        {base.arg(QStringLiteral("sensor"), QStringLiteral("last_caller")),
         QJsonDocument(sensor).toJson(QJsonDocument::Compact)},
        {base.arg(QStringLiteral("button"), QStringLiteral("hangup")),
         QJsonDocument(button).toJson(QJsonDocument::Compact)},
        {base.arg(QStringLiteral("sensor"), QStringLiteral("unheard_messages")),
         QJsonDocument(unheard).toJson(QJsonDocument::Compact)},
        {base.arg(QStringLiteral("event"), QStringLiteral("message")),
         QJsonDocument(message).toJson(QJsonDocument::Compact)},
    };
}

} // namespace CallMessage

#include "bus/CallBus.h"

#include "bus/CallMessage.h"
#include "common/CleanText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {

constexpr int rememberedCalls = 1000;

} // namespace

CallBus::CallBus(QObject* parent) : QObject(parent)
{
    connect(&m_connection, &MqttConnection::connected, this, &CallBus::onConnected);
    connect(&m_connection, &MqttConnection::failed, this, &CallBus::onFailed);
    connect(&m_connection, &MqttConnection::disconnected, this, &CallBus::onDisconnected);
    connect(&m_connection, &MqttConnection::delivered, this, &CallBus::onDelivered);
    connect(&m_connection, &MqttConnection::messageArrived, this, &CallBus::onMessage);
}

CallBus::~CallBus()
{
    stop();
}

void CallBus::start(const MqttOptions& options, const QString& outboxPath)
{
    if (!options.enabled() || active())
        return;
    m_options = options;
    if (announces()) {
        m_options.willTopic = topic("status");
        m_options.willPayload = "offline";
    }
    if (m_options.subscribe)
        m_options.subscriptions = {topic("call")};
    else // the monitor with the modem takes the household's commands
        m_options.subscriptions = {topic("command")};
    m_outbox = std::make_unique<Outbox>(outboxPath);
    QString error;
    keepOutboxError(m_outbox->load(&error), error);
    if (!m_outbox->entries().isEmpty())
        emit report(QStringLiteral("[MQTT: %1 call(s) from before wait to be sent]")
                        .arg(m_outbox->entries().size()));
    m_connection.start(m_options);
}

void CallBus::stop()
{
    if (!active())
        return;
    m_connection.stop(announces() ? topic("status") : QString(), "offline");
    m_online = 0;
    QString error;
    keepOutboxError(m_outbox->flush(&error), error);
}

void CallBus::publishCall(const CallRecord& call)
{
    if (!active())
        return;
    // Seen here, it is never shown again when it comes back from the broker.
    remember(call.id);
    QString error;
    keepOutboxError(m_outbox->add({call.id, CallMessage::toJson(call, m_options.clientId)}, &error),
                    error);
    sendPending();
}

void CallBus::publishModemState(const QString& state)
{
    if (state == std::exchange(m_modemState, state))
        return;
    if (m_online != 0 && announces())
        m_connection.publish(topic("modem"), state.toUtf8(), 1, true);
}

void CallBus::publishMessages(int unheard, int total)
{
    const QByteArray count = QJsonDocument(QJsonObject{{QStringLiteral("unheard"), unheard},
                                                       {QStringLiteral("total"), total}})
                                 .toJson(QJsonDocument::Compact);
    if (count == std::exchange(m_messages, count))
        return;
    if (m_online != 0 && announces())
        m_connection.publish(topic("messages"), count, 1, true);
}

void CallBus::publishMessage(const QString& callId, int seconds)
{
    if (m_online != 0 && announces())
        m_connection.publish(
            topic("message"),
            QJsonDocument(QJsonObject{{QStringLiteral("event_type"), QStringLiteral("message")},
                                      {QStringLiteral("id"), callId},
                                      {QStringLiteral("seconds"), seconds}})
                .toJson(QJsonDocument::Compact),
            1, false);
}

void CallBus::publishOutcome(const CallRecord& call)
{
    if (!m_online || !announces())
        return;
    const QByteArray message = CallMessage::toJson(call, m_options.clientId);
    m_connection.publish(topic("outcome"), message, 1, false);
    if (call.id == m_lastCallId)
        m_connection.publish(topic("last_call"), message, 1, true);
}

void CallBus::publishEvent(const QString& line)
{
    if (m_online && announces())
        m_connection.publish(topic("event"), line.toUtf8(), 0, false);
}

void CallBus::sendPending()
{
    if (!m_online)
        return;
    const QList<Outbox::Entry>& entries = m_outbox->entries();
    const Outbox::Entry* newest = nullptr;
    for (const Outbox::Entry& entry : entries) {
        const auto sent = m_sent.constFind(entry.id);
        if (sent != m_sent.cend() && sent->connection == m_online)
            continue;
        const MqttConnection::Ticket ticket =
            m_connection.publish(topic("call"), entry.message, 1, false);
        // The connection went meanwhile; the rest go, in order, on the next one.
        if (!ticket.valid())
            break;
        m_sent.insert(entry.id, ticket);
        newest = &entry;
    }
    if (newest) {
        m_connection.publish(topic("last_call"), newest->message, 1, true);
        m_lastCallId = newest->id;
    }
}

void CallBus::onConnected(quint32 connection)
{
    m_online = connection;
    const bool wasComplaining = !m_complaint.isEmpty();
    m_complaint.clear();
    emit report(QStringLiteral("[MQTT: connected to %1%2]")
                    .arg(m_options.address(), wasComplaining ? QStringLiteral(" again") : ""));
    // The status line belongs to the modem; it is borrowed only to take back a complaint.
    if (wasComplaining)
        emit status(QStringLiteral("MQTT connected again"));
    if (announces()) {
        m_connection.publish(topic("status"), "online", 1, true);
        if (!m_modemState.isEmpty())
            m_connection.publish(topic("modem"), m_modemState.toUtf8(), 1, true);
        if (!m_messages.isEmpty())
            m_connection.publish(topic("messages"), m_messages, 1, true);
        for (const CallMessage::Discovery& d :
             CallMessage::homeAssistant(m_options.topic, m_options.clientId))
            m_connection.publish(d.topic, d.payload, 1, true);
    }
    sendPending();
    emit connected();
}

void CallBus::onFailed(const QString& reason, bool refusedByBroker)
{
    // A broker that is down or a network that is gone fails every retry the same way; the user
    // hears of it once, until the connection has come back.
    if (refusedByBroker)
        complain(reason,
                 QStringLiteral("[MQTT: the broker at %1 refused the connection: %2; calls wait "
                                "in the outbox]")
                     .arg(m_options.address(), reason),
                 QStringLiteral("MQTT: ") + reason);
    else
        complain(QStringLiteral("unreachable"),
                 QStringLiteral("[MQTT: cannot reach the broker at %1: %2; calls wait in the "
                                "outbox and are sent when it is back]")
                     .arg(m_options.address(), reason),
                 QStringLiteral("MQTT: ") + reason);
}

void CallBus::onDisconnected(quint32 connection)
{
    if (connection != m_online)
        return;
    m_online = 0;
    complain(QStringLiteral("unreachable"),
             QStringLiteral("[MQTT: lost the connection to %1; calls wait in the outbox]")
                 .arg(m_options.address()),
             QStringLiteral("MQTT: connection lost"));
}

void CallBus::complain(const QString& key, const QString& line, const QString& statusText)
{
    if (key == m_complaint)
        return;
    m_complaint = key;
    emit report(line);
    emit status(statusText);
}

void CallBus::onDelivered(MqttConnection::Ticket ticket)
{
    for (auto it = m_sent.begin(); it != m_sent.end(); ++it) {
        if (!(it.value() == ticket))
            continue;
        const QString id = it.key();
        m_sent.erase(it);
        m_outbox->remove(id);
        if (!m_flushQueued)
            QTimer::singleShot(0, this, [this] {
                m_flushQueued = false;
                QString error;
                keepOutboxError(m_outbox->flush(&error), error);
            });
        m_flushQueued = true;
        return;
    }
}

void CallBus::onMessage(const QString& messageTopic, const QByteArray& payload)
{
    if (messageTopic == topic("command") && announces()) {
        if (const std::optional<CallMessage::Command> command =
                CallMessage::commandFromJson(payload))
            emit commandReceived(*command);
        else
            emit report(QStringLiteral("[MQTT: a command that is none: %1]")
                            .arg(CleanText::field(QString::fromUtf8(payload.left(200)))));
        return;
    }
    if (messageTopic != topic("call"))
        return;
    std::optional<CallRecord> call = CallMessage::fromJson(payload);
    if (!call || call->origin == m_options.clientId || m_seen.contains(call->id))
        return;
    remember(call->id);
    if (call->origin.isEmpty())
        call->origin = QStringLiteral("?");
    emit remoteCall(*call);
}

void CallBus::remember(const QString& id)
{
    m_seen.insert(id);
    m_seenOrder.append(id);
    if (m_seenOrder.size() > rememberedCalls)
        m_seen.remove(m_seenOrder.takeFirst());
}

void CallBus::keepOutboxError(bool ok, const QString& error)
{
    if (ok || m_outboxFailed) {
        m_outboxFailed = !ok && m_outboxFailed;
        return;
    }
    m_outboxFailed = true;
    emit report(
        QStringLiteral("[MQTT: couldn't write the outbox %1: %2]").arg(m_outbox->path(), error));
}

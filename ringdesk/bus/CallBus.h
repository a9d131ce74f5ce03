#pragma once

#include "broker/MqttConnection.h"
#include "bus/CallMessage.h"
#include "bus/Outbox.h"
#include "calls/CallRecord.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <memory>

// The monitor on the household's message bus. It publishes each call (kept in the outbox until
// the broker has it), the event list, its own status and Home Assistant's discovery messages;
// with "Subscribe" it also brings the calls of other monitors in. It reports to the user only
// when something changes: one line for a broker that cannot be reached or refuses us, not one
// per retry.
class CallBus : public QObject
{
    Q_OBJECT
public:
    explicit CallBus(QObject* parent = nullptr);
    ~CallBus() override;

    // Does nothing when the options name no host.
    void start(const MqttOptions& options, const QString& outboxPath);
    // Says "offline" and disconnects.
    void stop();
    bool active() const { return m_connection.running(); }
    QString clientId() const { return m_options.clientId; }
    QString address() const { return m_options.address(); }
    // Brings in the calls of other monitors, and is connected to the broker now.
    bool bringingCallsIn() const { return m_online != 0 && m_options.subscribe; }

    void publishCall(const CallRecord& call);
    void publishEvent(const QString& line);
    // A call again once its outcome is known, on <prefix>/outcome (so it is no second call for
    // those who count calls), and as <prefix>/last_call when it is the last.
    void publishOutcome(const CallRecord& call);
    // Whether the modem answers ("answering", "not answering"), retained on <prefix>/modem and
    // said again on every connection, so a stale state never outlives its monitor's restart.
    void publishModemState(const QString& state);
    // The answering machine's messages: how many are unheard of how many (<prefix>/messages,
    // retained), and each new one (<prefix>/message: its call and length).
    void publishMessages(int unheard, int total);
    void publishMessage(const QString& callId, int seconds);

signals:
    // A call from another monitor, not shown before.
    void remoteCall(const CallRecord& call);
    // Asked on <prefix>/command (of the monitor that publishes).
    void commandReceived(const CallMessage::Command& command);
    // A line for the event list.
    void report(const QString& line);
    // A short text for the status line.
    void status(const QString& text);
    // The broker accepted us (again).
    void connected();

private:
    QByteArray m_messages; // the last count published, for a connection that comes back
    QString topic(const char* leaf) const { return m_options.topic + u'/' + QLatin1String(leaf); }
    // A subscribing desktop shows calls from elsewhere; the monitor that publishes them owns the
    // status and the discovery messages under the prefix.
    bool announces() const { return !m_options.subscribe; }
    void sendPending();
    void onConnected(quint32 connection);
    void onFailed(const QString& reason, bool refusedByBroker);
    void onDisconnected(quint32 connection);
    void onDelivered(MqttConnection::Ticket ticket);
    void onMessage(const QString& topic, const QByteArray& payload);
    void complain(const QString& key, const QString& line, const QString& statusText);
    void keepOutboxError(bool ok, const QString& error);
    void remember(const QString& id);

    MqttOptions m_options;
    MqttConnection m_connection;
    std::unique_ptr<Outbox> m_outbox;
    QHash<QString, MqttConnection::Ticket> m_sent; // call id -> its hand-over on this connection
    quint32 m_online = 0;                          // the connection we are on; 0 for none
    QString m_complaint;                           // what the user was last told went wrong
    QString m_modemState;
    QString m_lastCallId; // the call <prefix>/last_call holds
    bool m_outboxFailed = false;
    bool m_flushQueued = false;
    QSet<QString> m_seen; // ids of calls shown, so a repeat is dropped
    QList<QString> m_seenOrder;
};

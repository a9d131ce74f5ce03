#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How to reach the household's broker, as the "MQTT" section of the settings gives it.
struct MqttOptions
{
    QString host; // empty: no broker
    int port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's certificate authorities
    QString username;
    QString password;
    QString topic = QStringLiteral("ringdesk"); // prefix of every topic
    QString clientId;
    bool subscribe = false;
    // The broker keeps our subscriptions and queued messages while we are away.
    bool keepSession = false;

    // The broker publishes this retained for us when the connection is lost without a goodbye.
    QString willTopic;
    QByteArray willPayload;
    // Topics subscribed to on every connection.
    QStringList subscriptions;
    // After a failure the next attempt waits the first delay, doubling up to the last; a
    // connection that was accepted starts again from the first.
    int firstRetryMs = 1000;
    int lastRetryMs = 60000;

    bool enabled() const { return !host.trimmed().isEmpty(); }
    QString address() const { return host + u':' + QString::number(port); }

    // The section as stored; a setting that cannot be read keeps its default, and *problems
    // names it.
    static MqttOptions fromSettings(QStringList* problems = nullptr);
    // "ringdesk-<host>-<id>", the id made once and stored as [MQTT] DeviceId, so the monitor
    // stays one device for Home Assistant when its settings file moves, and two settings files
    // never take each other's place at the broker. Without `make`, empty until the id exists.
    static QString defaultClientId(bool make);
};

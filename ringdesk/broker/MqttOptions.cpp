#include "broker/MqttOptions.h"

#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QCryptographicHash>
#include <QSysInfo>

namespace {

bool readSwitch(const SettingEntry& entry, QStringList* problems)
{
    const QString text = entry.read().trimmed();
    if (text == QLatin1String("0") || text == QLatin1String("1"))
        return text == QLatin1String("1");
    if (problems)
        problems->append(QStringLiteral("Setting %1/%2 holds \"%3\", not 0 or 1; using %4")
                             .arg(entry.section, entry.key, text, entry.defaultValue));
    return entry.defaultValue == QLatin1String("1");
}

} // namespace

MqttOptions MqttOptions::fromSettings(QStringList* problems)
{
    MqttOptions options;
    options.host = Settings::MqttHost.read().trimmed();
    const QString portText = Settings::MqttPort.read().trimmed();
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (ok && port > 0 && port < 65536)
        options.port = port;
    else if (problems)
        problems->append(
            QStringLiteral("Setting MQTT/Port holds \"%1\", not a port; using 1883").arg(portText));
    options.tls = readSwitch(Settings::MqttTls, problems);
    options.caFile = Settings::MqttCaFile.read().trimmed();
    options.username = Settings::MqttUsername.read();
    options.password = Settings::MqttPassword.read();
    const QString topic = Settings::MqttTopic.read().trimmed();
    // Wildcards would make every topic a filter; a trailing slash an empty level.
    if (topic.isEmpty() || topic.contains(u'+') || topic.contains(u'#')) {
        if (problems && !topic.isEmpty())
            problems->append(
                QStringLiteral("Setting MQTT/Topic holds \"%1\", which has a wildcard; using "
                               "ringdesk")
                    .arg(topic));
    } else {
        options.topic = topic.endsWith(u'/') ? topic.chopped(1) : topic;
    }
    options.clientId = Settings::MqttClientId.read().trimmed();
    if (options.clientId.isEmpty())
        options.clientId = defaultClientId();
    options.subscribe = readSwitch(Settings::MqttSubscribe, problems);
    return options;
}

QString MqttOptions::defaultClientId()
{
    const QByteArray where =
        QSysInfo::machineUniqueId() + SettingsStore::pathFor(Settings::Application).toUtf8();
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(where, QCryptographicHash::Sha1).toHex().left(8));
    QString host = QSysInfo::machineHostName();
    host.truncate(40);
    return QStringLiteral("ringdesk-") + host + u'-' + hash;
}

#include "broker/MqttOptions.h"

#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QSysInfo>
#include <QUuid>

namespace {

template <typename T>
T checked(const SettingEntry& entry, T (SettingEntry::*value)(QString*) const,
          QStringList* problems)
{
    QString problem;
    const T result = (entry.*value)(&problem);
    if (problems && !problem.isEmpty())
        problems->append(problem);
    return result;
}

} // namespace

MqttOptions MqttOptions::fromSettings(QStringList* problems)
{
    MqttOptions options;
    options.host = Settings::MqttHost.read().trimmed();
    options.port = checked(Settings::MqttPort, &SettingEntry::whole, problems);
    options.tls = checked(Settings::MqttTls, &SettingEntry::isOn, problems);
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
        options.clientId = defaultClientId(!options.host.isEmpty());
    options.subscribe = checked(Settings::MqttSubscribe, &SettingEntry::isOn, problems);
    return options;
}

QString MqttOptions::defaultClientId(bool make)
{
    // Made once and kept with the settings: an id taken from where the settings file lies
    // changed when it moved, and Home Assistant kept the old device beside the new one.
    QString id = Settings::MqttDeviceId.read().trimmed();
    if (id.isEmpty() && make) {
        id = QUuid::createUuid().toString(QUuid::Id128).left(8);
        if (!Settings::MqttDeviceId.write(id))
            id.clear();
    }
    if (id.isEmpty())
        return QString();
    QString host = QSysInfo::machineHostName();
    host.truncate(40);
    return QStringLiteral("ringdesk-") + host + u'-' + id;
}

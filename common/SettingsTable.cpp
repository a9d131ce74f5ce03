#include "common/SettingsTable.h"

#include "common/SettingsStore.h"

#include <QLocale>

QString SettingEntry::read() const
{
    return GetSetting(Settings::Application, section, key, defaultValue);
}

bool SettingEntry::write(const QString& value) const
{
    return SaveSetting(Settings::Application, section, writtenKey.isEmpty() ? key : writtenKey,
                       value);
}

SettingsStore::Entry SettingEntry::withValue(const QString& value) const
{
    return {section, writtenKey.isEmpty() ? key : writtenKey, value};
}

namespace Settings {

const QString Application = QStringLiteral("ZodoDE");

const SettingEntry ComPort{QStringLiteral("Modem"), QStringLiteral("ComPort"), QStringLiteral("0")};
const SettingEntry ModemResponseTimeout{
    QStringLiteral("Modem"), QStringLiteral("ModemResponseTimeout"), QStringLiteral("3000"),
    QStringLiteral("ModemResponseTimeOut")};
const SettingEntry BaudRate{QStringLiteral("Modem"), QStringLiteral("BaudRate"),
                            QStringLiteral("9600")};
const SettingEntry PollInterval{QStringLiteral("Modem"), QStringLiteral("PollInterval"),
                                QStringLiteral("100")};
const SettingEntry CallIDString{QStringLiteral("Modem"), QStringLiteral("CallIDString"),
                                QStringLiteral("")};
const SettingEntry NumberOfCom{QStringLiteral("Modem"), QStringLiteral("NumberOfCom"),
                               QStringLiteral("4")};
const SettingEntry ModemFindModem{QStringLiteral("Modem"), QStringLiteral("FindModem"),
                                  QStringLiteral("True")};

QStringList callerIdCommands()
{
    return {QStringLiteral("AT#CID=1"), QStringLiteral("AT%CCID=1"), QStringLiteral("AT+VCID=1"),
            QStringLiteral("AT#CC1"), QStringLiteral("AT*ID1")};
}

QString portExclusionKey(int port)
{
    return QStringLiteral("Com") + QString::number(port);
}

SettingEntry portExclusion(int port)
{
    return SettingEntry{QStringLiteral("Modem"), portExclusionKey(port), QStringLiteral("0")};
}

const SettingEntry AreaCode{QStringLiteral("Setup"), QStringLiteral("AreaCode"),
                            QStringLiteral("")};
// Empty: the system locale's territory.
const SettingEntry Country{QStringLiteral("Setup"), QStringLiteral("Country"), QString()};

QString systemCountry()
{
    const QLocale::Territory territory = QLocale::system().territory();
    const QString code = territory == QLocale::AnyTerritory || territory == QLocale::World
                             ? QString()
                             : QLocale::territoryToCode(territory);
    return code.size() == 2 ? code : QStringLiteral("US");
}
const SettingEntry AutoSearchContact{QStringLiteral("Setup"), QStringLiteral("AutoSearchContact"),
                                     QStringLiteral("1")};
const SettingEntry AutoCreateContact{QStringLiteral("Setup"), QStringLiteral("AutoCreateContact"),
                                     QStringLiteral("1")};
const SettingEntry AutoCreateJournal{QStringLiteral("Setup"), QStringLiteral("AutoCreateJournal"),
                                     QStringLiteral("1")};
const SettingEntry Maximize{QStringLiteral("Setup"), QStringLiteral("Maximize"),
                            QStringLiteral("1")};
const SettingEntry Minimize{QStringLiteral("Setup"), QStringLiteral("Minimize"),
                            QStringLiteral("0")};
const SettingEntry SystemTray{QStringLiteral("Setup"), QStringLiteral("SystemTray"),
                              QStringLiteral("1")};
const SettingEntry PlayWavFile{QStringLiteral("Setup"), QStringLiteral("PlayWavFile"),
                               QStringLiteral("0")};
const SettingEntry SetupFindModem{QStringLiteral("Setup"), QStringLiteral("FindModem"),
                                  QStringLiteral("1")};
const SettingEntry Event{QStringLiteral("Setup"), QStringLiteral("Event"), QStringLiteral("True")};
const SettingEntry Log{QStringLiteral("Setup"), QStringLiteral("Log"), QStringLiteral("False")};
const SettingEntry LogDirectory{QStringLiteral("Setup"), QStringLiteral("LogDirectory"),
                                QStringLiteral("")};
const SettingEntry UseAddressBook{QStringLiteral("Setup"), QStringLiteral("Outlook"),
                                  QStringLiteral("1")};
const SettingEntry Notify{QStringLiteral("Setup"), QStringLiteral("Notify"), QStringLiteral("1")};
// A caller whose number is on a card is that contact, whatever name the network sends.
const SettingEntry MatchNumberOnly{QStringLiteral("Setup"), QStringLiteral("MatchNumberOnly"),
                                   QStringLiteral("1")};

const SettingEntry ScreeningMode{QStringLiteral("Screening"), QStringLiteral("Mode"),
                                 QStringLiteral("0")};
const SettingEntry ScreeningAction{QStringLiteral("Screening"), QStringLiteral("Action"),
                                   QStringLiteral("hangup")};
const SettingEntry ScreeningWithheld{QStringLiteral("Screening"), QStringLiteral("Withheld"),
                                     QStringLiteral("0")};
const SettingEntry ScreeningHangupDelay{QStringLiteral("Screening"), QStringLiteral("HangupDelay"),
                                        QStringLiteral("2000")};

// HOST:PORT; empty serves nothing.
const SettingEntry WebListen{QStringLiteral("Web"), QStringLiteral("Listen"), QString()};
const SettingEntry WebPasswordHash{QStringLiteral("Web"), QStringLiteral("PasswordHash"),
                                   QString()};
const SettingEntry WebCertFile{QStringLiteral("Web"), QStringLiteral("CertFile"), QString()};
const SettingEntry WebKeyFile{QStringLiteral("Web"), QStringLiteral("KeyFile"), QString()};
const SettingEntry WebHosts{QStringLiteral("Web"), QStringLiteral("Hosts"), QString()};

const SettingEntry MqttHost{QStringLiteral("MQTT"), QStringLiteral("Host"), QString()};
const SettingEntry MqttPort{QStringLiteral("MQTT"), QStringLiteral("Port"), QStringLiteral("1883")};
const SettingEntry MqttTls{QStringLiteral("MQTT"), QStringLiteral("TLS"), QStringLiteral("0")};
const SettingEntry MqttCaFile{QStringLiteral("MQTT"), QStringLiteral("CAFile"), QString()};
const SettingEntry MqttUsername{QStringLiteral("MQTT"), QStringLiteral("Username"), QString()};
const SettingEntry MqttPassword{QStringLiteral("MQTT"), QStringLiteral("Password"), QString()};
const SettingEntry MqttTopic{QStringLiteral("MQTT"), QStringLiteral("Topic"),
                             QStringLiteral("ringdesk")};
const SettingEntry MqttClientId{QStringLiteral("MQTT"), QStringLiteral("ClientId"), QString()};
const SettingEntry MqttSubscribe{QStringLiteral("MQTT"), QStringLiteral("Subscribe"),
                                 QStringLiteral("0")};

} // namespace Settings

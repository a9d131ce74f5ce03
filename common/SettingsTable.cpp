#include "common/SettingsTable.h"

#include "common/Conversions.h"

#include "common/SettingsStore.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

QString SettingEntry::read() const
{
    return readSetting(Settings::Application, section, key, defaultValue);
}

bool SettingEntry::write(const QString& value) const
{
    return saveSetting(Settings::Application, section, writtenKey.isEmpty() ? key : writtenKey,
                       value);
}

SettingsStore::Entry SettingEntry::withValue(const QString& value) const
{
    return {section, writtenKey.isEmpty() ? key : writtenKey, value};
}

namespace {

std::optional<int> wholeOf(const SettingEntry& entry, const QString& text)
{
    if (entry.sixteenBit) {
        const std::optional<qint16> value = Conversions::toInt16(text);
        return value ? std::optional<int>(*value) : std::nullopt;
    }
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

template <typename T>
T valueOr(const SettingEntry& entry, QString* problem,
          T (*from)(const SettingEntry&, const QString&))
{
    const QString text = entry.read();
    const QString wrong = entry.problemWith(text);
    if (wrong.isEmpty())
        return from(entry, text);
    const QString given = entry.fallback.isEmpty() ? entry.defaultValue : entry.fallback;
    if (problem)
        *problem = QStringLiteral("Setting %1/%2 holds \"%3\", %4; %5")
                       .arg(entry.section, entry.key, text, wrong,
                            given.isEmpty() ? QStringLiteral("not used")
                                            : QStringLiteral("using ") + given);
    return from(entry, given);
}

} // namespace

QString SettingEntry::problemWith(const QString& text) const
{
    switch (kind) {
    case Kind::Text:
        return check ? check(text) : QString();
    case Kind::Switch: {
        const std::optional<qint16> value = Conversions::toInt16(text);
        return value && (*value == 0 || *value == 1) ? QString() : QStringLiteral("not 0 or 1");
    }
    case Kind::Truth:
        return Conversions::toTruth(text) ? QString() : QStringLiteral("not True or False");
    case Kind::Whole: {
        const std::optional<int> value = wholeOf(*this, text);
        if (value && *value >= low && *value <= high)
            return QString();
        return expected.isEmpty() ? QStringLiteral("not %1 to %2").arg(low).arg(high)
                                  : QStringLiteral("not ") + expected;
    }
    case Kind::Choice:
        for (const QString& choice : choices)
            if (text.trimmed().compare(choice, Qt::CaseInsensitive) == 0)
                return QString();
        return QStringLiteral("not ") + choices.mid(0, choices.size() - 1).join(u", ") +
               QStringLiteral(" or ") + choices.last();
    }
    return QString();
}

bool SettingEntry::isOn(QString* problem) const
{
    return valueOr<bool>(*this, problem, [](const SettingEntry& entry, const QString& text) {
        if (entry.kind == Kind::Truth)
            return Conversions::toTruth(text).value_or(false);
        return Conversions::toInt16(text).value_or(0) == 1;
    });
}

int SettingEntry::whole(QString* problem) const
{
    return valueOr<int>(*this, problem, [](const SettingEntry& entry, const QString& text) {
        return wholeOf(entry, text).value_or(0);
    });
}

QString SettingEntry::choice(QString* problem) const
{
    return valueOr<QString>(*this, problem, [](const SettingEntry& entry, const QString& text) {
        for (const QString& choice : entry.choices)
            if (text.trimmed().compare(choice, Qt::CaseInsensitive) == 0)
                return choice;
        return text;
    });
}

QString SettingEntry::text(QString* problem) const
{
    return valueOr<QString>(*this, problem,
                            [](const SettingEntry&, const QString& text) { return text; });
}

QString SettingEntry::textFor(bool on) const
{
    if (kind == Kind::Truth)
        return Conversions::truthText(on);
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

namespace Settings {

const QString Application = QStringLiteral("ZodoDE");

namespace {

using Kind = SettingEntry::Kind;

SettingEntry text(const char* section, const char* key, const QString& value = QString())
{
    return {QLatin1String(section), QLatin1String(key), value};
}

SettingEntry row(Kind kind, const char* section, const char* key, const char* value)
{
    SettingEntry entry = text(section, key, QLatin1String(value));
    entry.kind = kind;
    return entry;
}

SettingEntry whole(const char* section, const char* key, const char* value, int low, int high)
{
    SettingEntry entry = row(Kind::Whole, section, key, value);
    entry.low = low;
    entry.high = high;
    return entry;
}

// On only when a 1 is stored: anything else that is stored turns it off.
SettingEntry onlyOneIsOn(SettingEntry entry)
{
    entry.fallback = QStringLiteral("0");
    return entry;
}

SettingEntry sixteenBit(SettingEntry entry)
{
    entry.sixteenBit = true;
    return entry;
}

// A text the program reads as a whole number above 0 (a speed, milliseconds).
SettingEntry positiveWhole(SettingEntry entry)
{
    entry.check = [](const QString& text) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok && value > 0 ? QString() : QStringLiteral("not a whole number above 0");
    };
    return entry;
}

} // namespace

const SettingEntry ComPort = sixteenBit(whole("Modem", "ComPort", "0", -32768, 32767));
// Other programs' files spell it "ModemResponseTimeOut".
const SettingEntry ModemResponseTimeout = [] {
    SettingEntry entry = text("Modem", "ModemResponseTimeout", QStringLiteral("3000"));
    entry.writtenKey = QStringLiteral("ModemResponseTimeOut");
    entry.check = [](const QString& text) {
        const std::optional<double> value = Conversions::toNumber(text);
        return value && *value >= 1 ? QString()
                                    : QStringLiteral("not a number of milliseconds from 1");
    };
    return entry;
}();
const SettingEntry BaudRate = positiveWhole(text("Modem", "BaudRate", QStringLiteral("9600")));
const SettingEntry PollInterval =
    positiveWhole(text("Modem", "PollInterval", QStringLiteral("100")));
const SettingEntry CallIDString = text("Modem", "CallIDString");
const SettingEntry NumberOfCom = sixteenBit(whole("Modem", "NumberOfCom", "4", -32768, 32767));
const SettingEntry ModemCheckInterval = whole("Modem", "CheckInterval", "300", 0, 86400);
const SettingEntry ModemFindModem = row(Kind::Truth, "Modem", "FindModem", "True");

int replyTimeoutMs(const QString& text)
{
    const std::optional<double> value = Conversions::toNumber(text);
    if (!value || *value < 1)
        return 3000;
    return *value > 65535 ? 65535 : int(*value);
}

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

const SettingEntry AreaCode = text("Setup", "AreaCode");
// Empty: the system locale's territory.
const SettingEntry Country = text("Setup", "Country");

QString systemCountry()
{
    const QLocale::Territory territory = QLocale::system().territory();
    const QString code = territory == QLocale::AnyTerritory || territory == QLocale::World
                             ? QString()
                             : QLocale::territoryToCode(territory);
    return code.size() == 2 ? code : QStringLiteral("US");
}
const SettingEntry AutoSearchContact = row(Kind::Switch, "Setup", "AutoSearchContact", "1");
const SettingEntry AutoCreateContact = row(Kind::Switch, "Setup", "AutoCreateContact", "1");
const SettingEntry AutoCreateJournal = row(Kind::Switch, "Setup", "AutoCreateJournal", "1");
const SettingEntry Maximize = row(Kind::Switch, "Setup", "Maximize", "1");
const SettingEntry Minimize = row(Kind::Switch, "Setup", "Minimize", "0");
const SettingEntry SystemTray = row(Kind::Switch, "Setup", "SystemTray", "1");
const SettingEntry PlayWavFile = row(Kind::Switch, "Setup", "PlayWavFile", "0");
const SettingEntry SetupFindModem = row(Kind::Switch, "Setup", "FindModem", "1");
const SettingEntry Event = row(Kind::Truth, "Setup", "Event", "True");
const SettingEntry Log = row(Kind::Truth, "Setup", "Log", "False");
const SettingEntry LogDirectory = text("Setup", "LogDirectory");
const SettingEntry UseAddressBook = onlyOneIsOn(row(Kind::Switch, "Setup", "Outlook", "1"));
const SettingEntry Notify = onlyOneIsOn(row(Kind::Switch, "Setup", "Notify", "1"));
// A caller whose number is on a card is that contact, whatever name the network sends.
const SettingEntry MatchNumberOnly =
    onlyOneIsOn(row(Kind::Switch, "Setup", "MatchNumberOnly", "1"));

const SettingEntry ScreeningMode = whole("Screening", "Mode", "0", 0, 2);
const SettingEntry ScreeningAction = [] {
    SettingEntry entry = row(Kind::Choice, "Screening", "Action", "hangup");
    entry.choices = {QStringLiteral("hangup"), QStringLiteral("silence"),
                     QStringLiteral("announce"), QStringLiteral("fax")};
    return entry;
}();
// Where contacts live: the vCard folder, the desktop's address books, or the desktop's when its
// service answers.
const SettingEntry ContactsSource = [] {
    SettingEntry entry = row(Kind::Choice, "Contacts", "Source", "folder");
    entry.choices = {QStringLiteral("folder"), QStringLiteral("desktop"), QStringLiteral("auto")};
    return entry;
}();
// The desktop's address book new contacts go to, by the name it shows; empty: its default.
const SettingEntry ContactsAddressBook = text("Contacts", "AddressBook");
// "check": a caller nobody knows is answered and asked for a key (the human check).
const SettingEntry ScreeningUnknown = [] {
    SettingEntry entry = row(Kind::Choice, "Screening", "Unknown", "ring");
    entry.choices = {QStringLiteral("ring"), QStringLiteral("check")};
    return entry;
}();
const SettingEntry ScreeningWithheld = whole("Screening", "Withheld", "0", 0, 1);
const SettingEntry ScreeningBlockMarkers = row(Kind::Switch, "Screening", "BlockMarkers", "1");
const SettingEntry ScreeningHangupDelay = whole("Screening", "HangupDelay", "2000", 0, 60000);
const SettingEntry ScreeningBlockInvalid = row(Kind::Switch, "Screening", "BlockInvalid", "0");
const SettingEntry ScreeningOwnNumber = text("Screening", "OwnNumber");
const SettingEntry ScreeningBlockNeighbours =
    row(Kind::Switch, "Screening", "BlockNeighbours", "0");
// A day at most: a caller who tries again the next day is let through anyway.
const SettingEntry ScreeningGreylist = whole("Screening", "Greylist", "0", 0, 1440);
const SettingEntry ScreeningQuietHours = [] {
    SettingEntry entry = text("Screening", "QuietHours");
    entry.check = [](const QString& text) {
        QTime from;
        QTime to;
        return text.trimmed().isEmpty() || quietHours(text, &from, &to)
                   ? QString()
                   : QStringLiteral("not HH:MM-HH:MM with two different times");
    };
    return entry;
}();

bool quietHours(const QString& text, QTime* from, QTime* to)
{
    static const QRegularExpression span(
        QStringLiteral("^\\s*(\\d{1,2}:\\d{2})\\s*-\\s*(\\d{1,2}:\\d{2})\\s*$"));
    const QRegularExpressionMatch match = span.match(text);
    if (!match.hasMatch())
        return false;
    *from = QTime::fromString(match.captured(1), QStringLiteral("H:mm"));
    *to = QTime::fromString(match.captured(2), QStringLiteral("H:mm"));
    return from->isValid() && to->isValid() && *from != *to;
}

// HOST:PORT; empty serves nothing.
const SettingEntry WebListen = text("Web", "Listen");
const SettingEntry WebPasswordHash = text("Web", "PasswordHash");
const SettingEntry WebCertFile = text("Web", "CertFile");
const SettingEntry WebKeyFile = text("Web", "KeyFile");
const SettingEntry WebHosts = text("Web", "Hosts");

const SettingEntry FritzBoxAddress = text("FritzBox", "Address");
const SettingEntry NcidListen = text("NCID", "Listen");
const SettingEntry NcidAllow =
    text("NCID", "Allow",
         QStringLiteral("127.0.0.0/8, ::1/128, 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, "
                        "169.254.0.0/16, fc00::/7, fe80::/10"));
const SettingEntry NcidLogLines = whole("NCID", "LogLines", "200", 0, 10000);
const SettingEntry NcidNumberFormat = [] {
    SettingEntry entry = row(Kind::Choice, "NCID", "NumberFormat", "shown");
    entry.choices = {QStringLiteral("shown"), QStringLiteral("digits")};
    return entry;
}();

const SettingEntry MqttHost = text("MQTT", "Host");
const SettingEntry MqttPort = [] {
    SettingEntry entry = whole("MQTT", "Port", "1883", 1, 65535);
    entry.expected = QStringLiteral("a port");
    return entry;
}();
const SettingEntry MqttTls = row(Kind::Switch, "MQTT", "TLS", "0");
const SettingEntry MqttCaFile = text("MQTT", "CAFile");
const SettingEntry MqttUsername = text("MQTT", "Username");
const SettingEntry MqttPassword = text("MQTT", "Password");
const SettingEntry MqttTopic = text("MQTT", "Topic", QStringLiteral("ringdesk"));
const SettingEntry MqttClientId = text("MQTT", "ClientId");
const SettingEntry MqttDeviceId = text("MQTT", "DeviceId");
const SettingEntry MqttSubscribe = row(Kind::Switch, "MQTT", "Subscribe", "0");

const QStringList VoiceQuirkNames = {QStringLiteral("tripled-ends"), QStringLiteral("no-silence"),
                                     QStringLiteral("off-hook-after-line-up"),
                                     QStringLiteral("rings-as-events"),
                                     QStringLiteral("extended-vsm")};
const SettingEntry VoiceFormat = [] {
    SettingEntry entry = text("Voice", "Format");
    entry.check = [](const QString& text) {
        bool ok = false;
        const int code = text.trimmed().toInt(&ok);
        return text.trimmed().isEmpty() || (ok && code >= 0 && code <= 255)
                   ? QString()
                   : QStringLiteral("not a format code from 0 to 255");
    };
    return entry;
}();
// A sound file the caller hears; empty: the spoken default.
static SettingEntry soundFile(const char* key)
{
    SettingEntry entry = text("Voice", key);
    entry.check = [](const QString& text) {
        const QFileInfo file(text.trimmed());
        return text.trimmed().isEmpty() || (file.isFile() && file.isReadable())
                   ? QString()
                   : QStringLiteral("not a sound file that can be read");
    };
    return entry;
}
const SettingEntry VoiceAnnouncement = soundFile("Announcement");
const SettingEntry VoiceGreeting = soundFile("Greeting");
const SettingEntry VoiceAnswerAfter = whole("Voice", "AnswerAfter", "0", 0, 20);
const SettingEntry VoiceCheckDigit = whole("Voice", "CheckDigit", "5", 0, 9);
const SettingEntry VoiceCheckGreeting = soundFile("CheckGreeting");
const SettingEntry VoiceSilenceSeconds = whole("Voice", "SilenceSeconds", "5", 1, 60);
const SettingEntry VoiceMaxSeconds = whole("Voice", "MaxSeconds", "120", 5, 600);
const SettingEntry VoiceMessagesLimit = whole("Voice", "MessagesLimit", "200", 1, 100000);
const SettingEntry VoiceQuirks = [] {
    SettingEntry entry = text("Voice", "Quirks");
    entry.check = [](const QString& text) {
        static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
        for (const QString& word : text.toLower().split(separators, Qt::SkipEmptyParts))
            if (!VoiceQuirkNames.contains(word))
                return QStringLiteral("not a list of ") +
                       VoiceQuirkNames.join(QStringLiteral(", "));
        return QString();
    };
    return entry;
}();

} // namespace Settings

namespace Settings {

const QList<const SettingEntry*>& all()
{
    static const QList<const SettingEntry*> rows = {&ComPort,
                                                    &ModemResponseTimeout,
                                                    &BaudRate,
                                                    &PollInterval,
                                                    &CallIDString,
                                                    &NumberOfCom,
                                                    &ModemCheckInterval,
                                                    &ModemFindModem,
                                                    &AreaCode,
                                                    &Country,
                                                    &AutoSearchContact,
                                                    &AutoCreateContact,
                                                    &AutoCreateJournal,
                                                    &Maximize,
                                                    &Minimize,
                                                    &SystemTray,
                                                    &PlayWavFile,
                                                    &SetupFindModem,
                                                    &Event,
                                                    &Log,
                                                    &LogDirectory,
                                                    &UseAddressBook,
                                                    &Notify,
                                                    &MatchNumberOnly,
                                                    &ScreeningMode,
                                                    &ScreeningAction,
                                                    &ScreeningUnknown,
                                                    &ContactsSource,
                                                    &ContactsAddressBook,
                                                    &ScreeningWithheld,
                                                    &ScreeningBlockMarkers,
                                                    &ScreeningHangupDelay,
                                                    &ScreeningBlockInvalid,
                                                    &ScreeningOwnNumber,
                                                    &ScreeningBlockNeighbours,
                                                    &ScreeningGreylist,
                                                    &ScreeningQuietHours,
                                                    &WebListen,
                                                    &WebPasswordHash,
                                                    &WebCertFile,
                                                    &WebKeyFile,
                                                    &WebHosts,
                                                    &FritzBoxAddress,
                                                    &NcidListen,
                                                    &NcidAllow,
                                                    &NcidLogLines,
                                                    &NcidNumberFormat,
                                                    &MqttHost,
                                                    &MqttPort,
                                                    &MqttTls,
                                                    &MqttCaFile,
                                                    &MqttUsername,
                                                    &MqttPassword,
                                                    &MqttTopic,
                                                    &MqttClientId,
                                                    &MqttDeviceId,
                                                    &MqttSubscribe,
                                                    &VoiceFormat,
                                                    &VoiceQuirks,
                                                    &VoiceAnnouncement,
                                                    &VoiceGreeting,
                                                    &VoiceAnswerAfter,
                                                    &VoiceSilenceSeconds,
                                                    &VoiceMaxSeconds,
                                                    &VoiceMessagesLimit,
                                                    &VoiceCheckDigit,
                                                    &VoiceCheckGreeting};
    return rows;
}

QList<const SettingEntry*> inSection(const QString& section)
{
    QList<const SettingEntry*> rows;
    for (const SettingEntry* entry : all())
        if (entry->section.compare(section, Qt::CaseInsensitive) == 0)
            rows.append(entry);
    return rows;
}

} // namespace Settings

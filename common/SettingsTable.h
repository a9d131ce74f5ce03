#pragma once

#include "common/SettingsStore.h"

#include <QString>
#include <QStringList>
#include <QTime>

// Every entry of the store that the two programs use, in one place: where it is stored, its
// kind, its default and the values it may hold. Each reader takes the typed value from here, so
// a stored text is judged once, by the same rules and with the same words, in both programs.
// Defaults are given in the text form a reader gets back for a missing entry.
struct SettingEntry
{
    enum class Kind
    {
        Text,   // taken as it stands
        Switch, // 0 or 1 (a decimal number that rounds to one of them)
        Truth,  // True or False, in any case, or a number (0 is false)
        Whole,  // a whole number from low to high
        Choice  // one of `choices`, in any case
    };

    QString section;
    QString key;
    QString defaultValue;
    Kind kind = Kind::Text;
    int low = 0;
    int high = 0;
    // Whole: a 16-bit entry, which files written by other programs may hold as any decimal; it
    // is rounded to the nearest whole number, halves to even.
    bool sixteenBit = false;
    QStringList choices = {};
    // What a bad value is "not", where the bounds would not say it well ("a port").
    QString expected = QString();
    // What a stored text that cannot be used gives, where that is not the default: a switch
    // that only a stored 1 turns on.
    QString fallback = QString();
    // The spelling the key is written in, when files of other programs expect another one than
    // it is read under (keys match without regard to case).
    QString writtenKey = QString();
    // Text: why a text cannot be used ("not HH:MM-HH:MM"), or nothing when it can.
    QString (*check)(const QString& text) = nullptr;

    QString read() const;
    bool write(const QString& value) const;
    // The entry as a rewrite of the store writes it.
    SettingsStore::Entry withValue(const QString& value) const;

    // Why `text` cannot be this setting's value ("not 0 or 1"), or nothing when it can.
    QString problemWith(const QString& text) const;
    // The stored value, or the default when the stored text cannot be used; `problem` then gets
    // the line that says so: Setting S/K holds "x", not ...; using D.
    bool isOn(QString* problem = nullptr) const;      // Switch, Truth
    int whole(QString* problem = nullptr) const;      // Whole
    QString choice(QString* problem = nullptr) const; // Choice: as the list spells it
    QString text(QString* problem = nullptr) const;   // Text that passed its check
    // The stored text of a value of this kind.
    QString textFor(bool on) const;
};

namespace Settings {

// All entries live under this application name; the modem search spells it "zodoDE", which the
// store treats as the same name.
extern const QString Application;

// Section "Modem"
extern const SettingEntry ComPort;
extern const SettingEntry ModemResponseTimeout; // written as "ModemResponseTimeOut"
// The time-out in milliseconds that a ModemResponseTimeout text gives: a number from 1 to 65535
// taken whole; more is held at 65535; anything else gives the default 3000.
int replyTimeoutMs(const QString& text);
extern const SettingEntry BaudRate;
extern const SettingEntry PollInterval;
extern const SettingEntry CallIDString;
extern const SettingEntry NumberOfCom;
// Seconds of quiet after which the modem is asked whether it still answers; 0 never.
extern const SettingEntry ModemCheckInterval;
extern const SettingEntry ModemFindModem; // "True"/"False": may the user start a search
// The caller-ID commands a search tries, in its order; the setup program offers the same.
QStringList callerIdCommands();
// Per-port exclusion "Com<n>" in section "Modem", default "0".
SettingEntry portExclusion(int port);
QString portExclusionKey(int port);

// Section "Setup"
extern const SettingEntry AreaCode;
extern const SettingEntry Country;
// The country an empty Country stands for: the system locale's territory, "US" when it names
// none.
QString systemCountry();
extern const SettingEntry AutoSearchContact;
extern const SettingEntry AutoCreateContact;
extern const SettingEntry AutoCreateJournal;
extern const SettingEntry Maximize;
extern const SettingEntry Minimize;
extern const SettingEntry SystemTray;
extern const SettingEntry PlayWavFile;
extern const SettingEntry SetupFindModem; // "0"/"1": the "Modem Enabled" switch
extern const SettingEntry Event;
extern const SettingEntry Log;
extern const SettingEntry LogDirectory;
// "1": the boxes that make contacts and journal entries may be used ("Outlook" in the file).
extern const SettingEntry UseAddressBook;
// "0"/"1": when a caller's name and number find nobody, look for the number alone before a
// contact is created ("Find callers by number alone" in config).
extern const SettingEntry MatchNumberOnly;
// "0"/"1": a desktop notification for every call ("Show a notification for every call").
extern const SettingEntry Notify;

// Section "Screening": what is done with callers the lists or the rules block.
extern const SettingEntry ScreeningMode;
extern const SettingEntry ScreeningAction;
extern const SettingEntry ScreeningUnknown;
extern const SettingEntry ContactsSource;
extern const SettingEntry ContactsAddressBook;
extern const SettingEntry ScreeningWithheld;
extern const SettingEntry ScreeningHangupDelay;
extern const SettingEntry ScreeningBlockMarkers; // "0"/"1": names that mark spam, in mode 1
// The rules of mode 1 that catch callers no list names.
extern const SettingEntry ScreeningBlockInvalid; // "0"/"1": numbers that cannot exist
extern const SettingEntry ScreeningOwnNumber;    // the household's number, for the neighbour rule
extern const SettingEntry ScreeningBlockNeighbours; // "0"/"1"
extern const SettingEntry ScreeningGreylist;        // minutes; 0 off
extern const SettingEntry ScreeningQuietHours;      // HH:MM-HH:MM, or empty
// The span a QuietHours text gives: false when the text is no span (an empty text is none).
bool quietHours(const QString& text, QTime* from, QTime* to);
// Section "Web": the household's web page. An empty Listen serves nothing.
extern const SettingEntry WebListen;
extern const SettingEntry WebPasswordHash;
extern const SettingEntry WebCertFile;
extern const SettingEntry WebKeyFile;
// Further names the web page answers to, comma-separated.
extern const SettingEntry WebHosts;
// Section "FritzBox": a FRITZ!Box's call-monitor port as a source of calls, HOST[:PORT].
extern const SettingEntry FritzBoxAddress;
// Section "NCID": the calls for NCID clients. An empty Listen serves nothing.
extern const SettingEntry NcidListen;
extern const SettingEntry NcidAllow;    // CIDR list; by default loopback and the private ranges
extern const SettingEntry NcidLogLines; // the newest calls a client gets when it connects
// "shown" (as the window shows them) or "digits": the numbers clients are sent.
extern const SettingEntry NcidNumberFormat;
// Section "MQTT": the household's message broker. An empty host leaves the network alone.
extern const SettingEntry MqttHost;
extern const SettingEntry MqttPort;
extern const SettingEntry MqttTls;    // "0"/"1"
extern const SettingEntry MqttCaFile; // empty: the system's certificate authorities
extern const SettingEntry MqttUsername;
extern const SettingEntry MqttPassword;
extern const SettingEntry MqttTopic;    // the prefix of every topic
extern const SettingEntry MqttClientId; // empty: one made from the machine and DeviceId
// Made once at the first connection and kept: the household's monitor stays one device.
extern const SettingEntry MqttDeviceId;
extern const SettingEntry MqttSubscribe; // "0"/"1": show the calls of monitors elsewhere

// The voice modem: the AT+VSM code to use (empty: chosen from what the modem lists) and the
// ways it differs from the document, by name.
extern const SettingEntry VoiceFormat;
extern const SettingEntry VoiceQuirks;
extern const SettingEntry VoiceAnnouncement;
// The answering machine: the greeting (a sound file, or empty: spoken), after how many rings a
// call is answered (0: never), how long a pause ends a message, and how long one may be.
extern const SettingEntry VoiceGreeting;
extern const SettingEntry VoiceAnswerAfter;
extern const SettingEntry VoiceCheckDigit;
extern const SettingEntry VoiceCheckGreeting;
extern const SettingEntry VoiceSilenceSeconds;
extern const SettingEntry VoiceMaxSeconds;
extern const SettingEntry VoiceMessagesLimit; // MB the messages folder may take
// The names [Voice] Quirks knows, in the order of VoiceModem::Quirks.
extern const QStringList VoiceQuirkNames;

// Every row above (the per-port rows of "Modem" and "Ports" apart), and those of one section.
const QList<const SettingEntry*>& all();
QList<const SettingEntry*> inSection(const QString& section);

} // namespace Settings

#pragma once

#include "calls/CallScreen.h"
#include "common/SettingsStore.h"
#include "modem/ModemSettings.h"
#include "monitor/MonitorState.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

struct SettingEntry;

// The monitor's settings, read from the settings table in one go into typed values, with the
// event lines that say which stored texts could not be used.
//
// What a running monitor re-reads: the [Screening] section, "MatchNumberOnly" and the
// announcement, whenever the
// store changes (a save of the setup program or a hand edit); they take effect at the next call.
// Everything else is read once at start and takes effect at the next start.
struct MonitorConfig
{
    ModemSettings modem;
    QString pollInterval;
    int checkIntervalMs = 0;
    QString country;
    QString areaCode;
    QString logDirectory;         // as stored; empty for the data folder
    QString fritzBox;             // HOST[:PORT], or empty
    QString voiceFormat;          // an AT+VSM code, or empty to choose one
    QString voiceQuirks;          // names of the voice modem's quirks
    QString voiceAnnouncement;    // the sound file blocked callers hear, or empty: spoken
    QString voiceGreeting;        // the answering machine's greeting, or empty: spoken
    int answerAfter = 0;          // rings before the answering machine answers; 0: never
    QString voiceCheckGreeting;   // the human check's question, or empty: spoken
    QChar checkKey = u'5';        // the key that proves a caller human
    int silenceSeconds = 5;       // a pause this long ends a message
    int maxSeconds = 120;         // the longest a message may be
    int messagesLimitMb = 200;    // the messages folder's size
    bool modemEnabled = true;     // "Modem Enabled"
    bool findModemAllowed = true; // "Find Modem" may be used
    bool matchNumberOnly = false;
    bool useAddressBook = true; // contacts and journal entries may be created
    // The window's boxes, as stored and as written back.
    struct Boxes
    {
        bool searchContacts = false;
        bool createContact = false;
        bool maximizeOnRing = false;
        bool createJournal = false;
        bool minimizeOnStart = false;
        bool useTray = false;
        bool playSound = false;
    };
    Boxes boxes;
    bool showEvents = false;
    bool showCalls = false;
    ScreeningOptions screening;
    // Lines for the event log, in the order the settings were read.
    QStringList problems;
    // Settings whose stored text could not be used, and the value that stood in for it: while the
    // setting still holds that value, saving leaves the stored text alone.
    QList<std::pair<const SettingEntry*, QString>> standIns;

    // What the monitor writes back at its exit, as it stands then.
    struct Saved
    {
        bool modemEnabled = false;
        Boxes boxes;
        bool showCalls = false;
        QString areaCode;
        ModemSettings modem;
    };
    // The boxes and the list as the settings have them, into the monitor's state ("Find Modem"
    // is ModemChoice's).
    void showIn(MonitorState& state) const;
    // What of the state is written back: the boxes and the list shown.
    static Saved savedFrom(const MonitorState& state);
    // The entries of one rewrite of the store, in their order; a stand-in still in place leaves
    // its stored text alone.
    QList<SettingsStore::Entry> entriesToSave(const Saved& saved) const;

    static MonitorConfig read();
    // The [Screening] section alone; `problems` gets its lines. `plan` reads the household's own
    // number.
    static ScreeningOptions readScreening(const NumberPlan& plan, QStringList* problems);
    // The settings a running monitor re-reads.
    static QList<const SettingEntry*> reReadWhileRunning();
    // The settings read when the monitor starts and not again: a change waits for a restart.
    static QList<const SettingEntry*> readAtStartOnly();
};

#pragma once

#include "addressbook/AddressBook.h"
#include "bus/CallBus.h"
#include "calls/CallLogFile.h"
#include "calls/CallProcessor.h"
#include "calls/OutlookLink.h"
#include "calls/UnavailableContacts.h"
#include "common/SettingsStore.h"
#include "modem/CanberraSound.h"
#include "modem/Comm1.h"
#include "modem/CommandExchange.h"
#include "modem/ModemReceiver.h"
#include "modem/ModemSearch.h"
#include "modem/ModemSwitch.h"
#include "state/MonitorState.h"

#include <QHash>
#include <functional>

struct SettingEntry;
class WindowControl;

// The monitor without its window: the state, the modem line, call processing and the log files,
// wired together as one call travels through them. The window shows the state and forwards the
// user's clicks into it.
class Monitor
{
public:
    explicit Monitor(WindowControl& window);

    MonitorState state;
    CallLogFile logFile;
    Comm1 comm;
    CommandExchange exchange;
    ModemReceiver receiver;
    ModemSearch search;
    ModemSwitch modemSwitch;
    UnavailableContacts noContacts;
    AddressBook addressBook;
    OutlookLink outlook;
    CallProcessor processor;
    CallBus bus;

    // The core's share of the load step: settings, the log folder, the address book, the broker.
    void load();
    // The core's share of the activation step, up to the area code: the call log and the modem
    // switch. False when the program began to end meanwhile.
    bool activate();
    // The rest of it, once the area code is known: the modem is read.
    void finishActivation();
    // The unload step: the port closed, "offline" said, the settings and event log saved.
    void unload();
    // Joins the household's broker when the "MQTT" settings name one.
    void startBus();
    // A call from another monitor, taken as soon as no call of our own is under way.
    void showRemoteCall(const CallRecord& call);
    // The status line of a desktop without its modem that shows the calls of the household's.
    void showWhereCallsComeFrom();

    // The settings of the load step, in their order, into state and check boxes.
    void loadSettings();
    // "LogDirectory", or the per-user data folder when it is empty.
    void settleLogDirectory();
    // What rewrites of a monitor that was killed left in the folders we write.
    void removeLeftovers();
    // Asks hostprobe once; without an address book its features are switched off.
    void checkOutlook();
    // The settings of the unload step, in their order, written in one rewrite of the store.
    QList<SettingsStore::Entry> settingsToSave() const;
    void saveSettings();
    // A value that could not be read was replaced by `given` at load; while the setting still
    // holds it, the unload step leaves the stored text alone instead of writing the stand-in.
    void keepStoredUnlessChanged(const SettingEntry& entry, const QString& given);

    // How checkOutlook asks; tests put an answer of their own here.
    std::function<bool(QString*)> outlookProbe;

    // "Search in Contact"'s action: "Create Contact" and "Create Journal" follow it, and come
    // back only while "Setup"/"Outlook" allows.
    void Check2Click();

private:
    void loadCheck(int number, const SettingEntry& entry);
    bool loadTruth(const SettingEntry& entry);

    void takeRemoteCalls();

    CanberraSound m_sound;
    QList<CallRecord> m_remoteCalls;
    bool m_remoteWaiting = false;
    bool m_callLogLoaded = false;
    QHash<QString, QString> m_standIns; // "section/key" in lower case -> the value given
};

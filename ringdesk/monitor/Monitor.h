#pragma once

#include "addressbook/AddressBook.h"
#include "bus/HouseholdLink.h"
#include "calls/CallPipeline.h"
#include "calls/EventLog.h"
#include "common/SettingsStore.h"
#include "common/SettingsWatcher.h"
#include "modem/ModemControl.h"
#include "monitor/ModemChoice.h"
#include "monitor/MonitorConfig.h"
#include "monitor/MonitorState.h"
#include "voice/AnsweringMachine.h"
#include "voice/BlockedCallVoice.h"
#include "voice/VoiceProbe.h"

#include <QTimer>

#include "sources/FritzBoxMonitor.h"

#include <QElapsedTimer>
#include <QHash>
#include <functional>
#include <memory>
#include <optional>

struct SettingEntry;
class WindowControl;

// The monitor without its window: builds the modem's control, the call's way, the address book,
// the FRITZ!Box and the household's link, hands them their collaborators and connects them, and
// keeps its state (what it shows, what the user chose) up to date. A window mirrors the state
// and forwards the user's clicks here.
class Monitor : public QObject
{
    Q_OBJECT
public:
    explicit Monitor(WindowControl& window);

    // The status line: what the monitor is doing now.
    QString status() const { return m_state.field(MonitorState::Status); }
    // Where the modem is, and whether its line is open.
    QString modemDevice() const { return m_modem.device(); }
    bool modemOpen() const { return m_modem.isOpen(); }
    // The modem and its parts, for the views and tools that drive it.
    ModemControl& modem() { return m_modem; }
    // What voice the modem has, once it has been asked.
    const VoiceProbe& voice() const { return m_voice; }
    const BlockedCallVoice& blockedCallVoice() const { return m_blockedVoice; }
    // The household's broker we are on, or nothing.
    QString brokerAddress() const;

    // The event log every view shows; anybody may add a line.
    EventLog& events() { return m_events; }
    // What the monitor shows and what the user chose; views mirror it.
    MonitorState& state() { return m_state; }
    const MonitorState& state() const { return m_state; }
    // A call's way, with the lists and the history the views edit or search.
    CallPipeline& calls() { return m_calls; }
    // Who shows a contact or a journal entry that a call found or made.
    void setItemViewer(ItemViewer* viewer);
    void showItem(const std::shared_ptr<AddressBookItem>& item);

    // The core's share of the load step: settings, the log folder, the address book, the broker.
    void load();
    // The core's share of the activation step, up to the area code: the call log and the modem
    // switch. activated() follows once the modem search, if any, has ended, unless the program
    // began to end meanwhile.
    void activate();
    // The rest of it, once the area code is known: the settings and lists watched, the modem
    // polled.
    void finishActivation();
    // The unload step: the port closed, "offline" said, the settings and event log saved.
    void unload();
    bool shuttingDown() const { return m_shuttingDown; }
    // The status line of a desktop without its modem that shows the calls of the household's.
    void showWhereCallsComeFrom();

    // The settings of the load step, in their order, into the state and the parts.
    void loadSettings();
    // "LogDirectory", or the per-user data folder when it is empty.
    void settleLogDirectory();
    // Asks once whether the address book can be used; without one its features are switched
    // off.
    void checkAddressBook();
    // The settings of the unload step, in their order, written in one rewrite of the store.
    QList<SettingsStore::Entry> settingsToSave() const;
    void saveSettings();

    // How checkAddressBook asks; tests put an answer of their own here.
    std::function<bool(QString*)> addressBookProbe;

    // Put in front of seven-digit numbers.
    QString areaCode() const { return m_areaCode; }
    void setAreaCode(const QString& areaCode);
    // The country whose numbering plan reads and lays out numbers; empty for the locale's.
    void setCountry(const QString& country);
    NumberPlan numberPlan() const { return NumberPlan(m_country, m_areaCode); }
    QString logDirectory() const { return m_logDirectory; }
    QString pollInterval() const { return m_pollInterval; }
    bool addressBookAvailable() const { return m_addressBookAvailable; }
    // What the window's boxes and the settings ask of each call.
    CallOptions callOptions() const { return m_state.callOptions(m_config.matchNumberOnly); }

    // What the user does in the window.
    // "Modem Enabled": on, the modem is searched for unless the line is open; off, manual mode.
    void setModemEnabled(bool on);
    void findModem();
    void clearCallLog() { m_calls.clearLog(); }
    // With no area code, seven-digit numbers of a North American modem cannot be laid out.
    bool needsAreaCode() const;

signals:
    void statusChanged(const QString& status);
    void activated();
    // A call has been logged (and screened); `contact` is the card it found, if any.
    void callHandled(const CallRecord& call, const std::shared_ptr<AddressBookItem>& contact);
    // The call ringing now has rung `count` times, on `line` (the modem's device).
    void rang(int count, const QString& line);
    // How the call on `line` went on once it rang, as far as its source can tell.
    void lineEvent(CallPipeline::LineEvent event, const QString& line);
    // The answering machine kept a message: "New message from Kim Known (0:42)", in `file`.
    void newMessage(const QString& text, const QString& file);

private:
    EventLog m_events;
    MonitorState m_state;
    FritzBoxMonitor m_box;
    ModemControl m_modem;
    AddressBook m_addressBook;
    CallPipeline m_calls;
    HouseholdLink m_household;
    ModemChoice m_modemChoice;
    VoiceProbe m_voice;
    QTimer m_voiceDue;
    BlockedCallVoice m_blockedVoice;
    AnsweringMachine m_machine;
    CallRecord m_letThrough; // the last call let through, for the message it may leave
    QElapsedTimer m_letThroughAt;
    std::optional<QString> m_announcementFrom; // the file it was made from; empty: spoken
    std::optional<QString> m_greetingFrom;
    std::optional<QString> m_checkGreetingFrom; // its file and key

    // A setting that a running monitor follows has changed in the store.
    void reReadSetting(const SettingEntry& entry);
    // A search ended and the switch settled: the activation step goes on from where it waited.
    void modemSettled();
    void applyNumberPlan();
    // Blocked calls are announced: the announcement is read, or spoken, unless it is already;
    // the same for the answering machine's greeting.
    void prepareAnnouncement();
    // The call has rung `count` times: the answering machine takes it when it is its turn.
    void answerIfDue(int count);
    QString messagesFolder() const;

    WindowControl& m_window;
    QString m_areaCode;
    QString m_country;
    QString m_logDirectory;
    QString m_pollInterval = QStringLiteral("100");
    bool m_addressBookAvailable = false;
    bool m_shuttingDown = false;
    bool m_activating = false;
    MonitorConfig m_config;
    // The settings a running monitor follows, watched once it is activated.
    std::unique_ptr<SettingsWatcher> m_settingsWatcher;
};

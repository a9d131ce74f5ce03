#include "monitor/Monitor.h"

#include "numbers/PhoneNumber.h"

#include "addressbook/AddressBookPaths.h"
#include "calls/LogFolder.h"
#include "common/AppPaths.h"
#include "common/Conversions.h"
#include "common/SafeFile.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "common/SettingsWatcher.h"
#include "monitor/WindowControl.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <utility>

using Box = MonitorState::Box;

namespace {

// The window's boxes that are stored, and where the settings keep each.
constexpr std::pair<Box, bool MonitorConfig::Boxes::*> storedBoxes[] = {
    {Box::SearchContacts, &MonitorConfig::Boxes::searchContacts},
    {Box::CreateContact, &MonitorConfig::Boxes::createContact},
    {Box::MaximizeOnRing, &MonitorConfig::Boxes::maximizeOnRing},
    {Box::CreateJournal, &MonitorConfig::Boxes::createJournal},
    {Box::MinimizeOnStart, &MonitorConfig::Boxes::minimizeOnStart},
    {Box::UseTray, &MonitorConfig::Boxes::useTray},
    {Box::PlaySound, &MonitorConfig::Boxes::playSound},
};

} // namespace

Monitor::Monitor(WindowControl& window)
    : m_box(this), m_modem(this), m_calls(m_events, m_addressBook, m_modem, this),
      m_household(m_events, m_calls, m_modem, this), m_window(window)
{
    QObject::connect(&m_calls, &CallPipeline::bringForward, this, [this] {
        if (m_state.box(Box::MaximizeOnRing))
            m_window.bringBack();
    });
    // Every part reports to the event log; the window's list, the broker and whoever else
    // subscribes show what it says.
    auto toEvents = [this](EventLog::Kind kind) {
        return [this, kind](const QString& text) {
            m_events.append(text, kind);
        };
    };
    using Kind = EventLog::Kind;
    QObject::connect(&m_state, &MonitorState::fieldChanged, this,
                     [this](MonitorState::Field which, const QString& text) {
                         if (which == MonitorState::Status)
                             emit statusChanged(text);
                     });

    QObject::connect(&m_modem, &ModemControl::eventLine, &m_state, toEvents(Kind::Modem));
    QObject::connect(&m_modem, &ModemControl::status, &m_state,
                     [this](const QString& text) { m_state.setField(MonitorState::Status, text); });
    QObject::connect(&m_modem, &ModemControl::recordChanged, &m_state,
                     [this](const CallerId& record) {
                         m_state.setField(MonitorState::Name, record.name);
                         m_state.setField(MonitorState::Number, record.number);
                         m_state.setField(MonitorState::Date, record.date);
                         m_state.setField(MonitorState::Time, record.time);
                     });
    QObject::connect(&m_modem, &ModemControl::rang, &m_state, [this](int count) {
        m_calls.ring();
        emit rang(count, m_modem.device());
    });
    QObject::connect(&m_modem, &ModemControl::recordComplete, &m_state,
                     [this](const CallerId& record) {
                         m_calls.take(IncomingCall::fromModem(record, m_modem.device()));
                     });

    QObject::connect(&m_modem, &ModemControl::beep, &m_state, [this] { m_window.beep(); });
    QObject::connect(&m_modem, &ModemControl::notAnswering, this,
                     [this] { m_window.modemNotAnswering(m_modem.device()); });
    QObject::connect(&m_modem, &ModemControl::searchEnded, this, &Monitor::modemSettled);
    QObject::connect(&m_modem, &ModemControl::notFound, &m_state,
                     [this](const QStringList& problems, bool anyDevice) {
                         // Calls come from the router: a missing modem is no error then.
                         if (m_box.running()) {
                             m_events.append(QStringLiteral("[No modem: calls come from the "
                                                            "FRITZ!Box at %1 alone]")
                                                 .arg(m_box.address()));
                             showWhereCallsComeFrom();
                             return;
                         }
                         m_window.showModemError(problems, anyDevice);
                     });

    QObject::connect(&m_state, &MonitorState::boxChanged, &m_state, [this](Box box) {
        if (box == Box::SearchContacts)
            searchContactsChanged();
    });

    m_calls.setOptions([this] { return callOptions(); });
    QObject::connect(&m_calls, &CallPipeline::callerShown, &m_state,
                     [this](const CallerId& record) {
                         m_state.setField(MonitorState::Number, record.number);
                         m_state.setField(MonitorState::Date, record.date);
                         m_state.setField(MonitorState::Time, record.time);
                         m_state.setField(MonitorState::Name, record.name);
                     });
    QObject::connect(&m_calls, &CallPipeline::letThrough, this, [this] {
        if (m_state.box(Box::PlaySound))
            m_window.playChime();
    });
    QObject::connect(
        &m_calls, &CallPipeline::callHandled, this,
        [this](const CallRecord& call, const std::shared_ptr<AddressBookItem>& contact) {
            emit callHandled(call, contact);
        });
    QObject::connect(&m_calls, &CallPipeline::missedCall, this,
                     [this](const QString& name) { m_window.missedCall(name); });
    QObject::connect(&m_box, &FritzBoxMonitor::eventLine, this, toEvents(Kind::Modem));
    QObject::connect(&m_box, &FritzBoxMonitor::ringing, this,
                     [this](const QString& id, const QDateTime& when, const QString& caller,
                            const QString&, const QString& line) {
                         m_calls.take(IncomingCall::fromFritzBox(id, when, caller, line,
                                                                 m_box.address(), numberPlan()));
                     });
    QObject::connect(&m_box, &FritzBoxMonitor::ended, &m_calls, &CallPipeline::ended);
    QObject::connect(&m_box, &FritzBoxMonitor::connectedChanged, this,
                     [this] { showWhereCallsComeFrom(); });

    QObject::connect(&m_household, &HouseholdLink::status, &m_state,
                     [this](const QString& text) { m_state.setField(MonitorState::Status, text); });
    QObject::connect(&m_household, &HouseholdLink::connected, &m_state,
                     [this] { showWhereCallsComeFrom(); });
    addressBookProbe = [](QString* problem) {
        return AddressBook::usable(problem);
    };
}

QString Monitor::brokerAddress() const
{
    return m_household.brokerAddress();
}

void Monitor::setItemViewer(ItemViewer* viewer)
{
    m_addressBook.setViewer(viewer);
}

void Monitor::showItem(const std::shared_ptr<AddressBookItem>& item)
{
    m_addressBook.display(item, true);
}

bool Monitor::needsAreaCode() const
{
    return m_areaCode.isEmpty() && numberPlan().northAmerican() && m_modem.settings().port != 0;
}

void Monitor::setAreaCode(const QString& areaCode)
{
    m_areaCode = areaCode;
    applyNumberPlan();
}

void Monitor::setCountry(const QString& country)
{
    m_country = country;
    applyNumberPlan();
}

void Monitor::applyNumberPlan()
{
    const NumberPlan plan = numberPlan();
    m_modem.setNumberPlan(plan);
    m_calls.setNumberPlan(plan);
    m_addressBook.setCountry(plan.country());
}

CallOptions Monitor::callOptions() const
{
    CallOptions options;
    options.searchContacts = m_state.box(Box::SearchContacts);
    options.createContact =
        m_state.box(Box::CreateContact) && m_state.boxEnabled(Box::CreateContact);
    options.createJournal = m_state.box(Box::CreateJournal);
    options.matchNumberOnly = m_config.matchNumberOnly;
    return options;
}

void Monitor::load()
{
    loadSettings();
    settleLogDirectory();
    removeLeftovers();
    checkAddressBook();
    // The network does not wait for the modem search, nor for a box that search may show.
    startBus();
}

void Monitor::activate()
{
    m_calls.openHistory();
    if (!m_config.fritzBox.isEmpty()) {
        QString problem;
        if (!m_box.start(m_config.fritzBox, &problem))
            m_events.append(QStringLiteral("[Setting FritzBox/%1]").arg(problem));
    }
    m_activating = true;
    setModemEnabled(m_config.modemEnabled);
    if (!m_modem.searching())
        modemSettled();
}

void Monitor::modemSettled()
{
    if (m_modem.searching())
        return; // switched off and on again: the newer search has the last word
    if (std::exchange(m_switchingOn, false) && m_modem.isOn())
        enableModemControls();
    if (!std::exchange(m_activating, false) || m_shuttingDown)
        return;
    m_state.setBoxEnabled(Box::ModemEnabled, true);
    if (!m_state.box(Box::ModemEnabled)) {
        manualMode();
        showWhereCallsComeFrom();
    }
    emit activated();
}

void Monitor::finishActivation()
{
    // Screening follows the setup program's saves (and hand edits) without a restart.
    m_settingsWatcher = std::make_unique<SettingsWatcher>(MonitorConfig::reReadWhileRunning());
    QObject::connect(m_settingsWatcher.get(), &SettingsWatcher::changed, this,
                     &Monitor::reReadSetting);
    m_modem.setPollInterval(m_pollInterval);
    // Once the number plan is known: a typo in a list is told now, not at the next call.
    m_calls.screening().watchLists();
}

void Monitor::unload()
{
    // A modem search waiting for a reply stops at once instead of holding the program up.
    m_shuttingDown = true;
    m_calls.shutDown();
    m_modem.shutDown();
    m_box.stop();
    m_household.stop();
    saveSettings();
    m_calls.logFile().saveEventLog(m_events.lines());
}

void Monitor::setModemEnabled(bool on)
{
    if (m_state.box(Box::ModemEnabled) == on)
        return;
    m_state.setBox(Box::ModemEnabled, on);
    switchModem(on);
    showWhereCallsComeFrom();
}

void Monitor::switchModem(bool on)
{
    if (!on) {
        manualMode();
        return;
    }
    m_state.setControlEnabled(MonitorState::FindModem, m_config.findModemAllowed);
    // With a search under way, the rest waits for it; switched off meanwhile, manual mode has had
    // the last word.
    if (m_modem.turnOn()) {
        m_switchingOn = true;
        return;
    }
    enableModemControls();
}

void Monitor::enableModemControls()
{
    if (m_addressBookAvailable) {
        for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
            m_state.setBoxEnabled(box, true);
    }
    m_state.setBoxEnabled(Box::MaximizeOnRing, true);
    m_state.setBoxEnabled(Box::PlaySound, true);
    m_window.setModemMenuChecks(true);
    m_window.setTrayImage(WindowControl::TrayImage::Window);
    searchContactsChanged();
}

void Monitor::manualMode()
{
    m_state.setField(MonitorState::Status, QStringLiteral("Manual Mode"));
    m_state.setControlEnabled(MonitorState::FindModem, false);
    m_modem.turnOff();
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::MaximizeOnRing,
                    Box::CreateJournal, Box::PlaySound})
        m_state.setBoxEnabled(box, false);
    m_window.setModemMenuChecks(false);
    m_window.setTrayImage(WindowControl::TrayImage::ModemOff);
}

void Monitor::findModem()
{
    if (!m_state.box(Box::ModemEnabled)) {
        m_modem.settings().port = 0;
        manualMode();
        return;
    }
    m_modem.find();
}

void Monitor::startBus()
{
    m_household.start();
}

void Monitor::showWhereCallsComeFrom()
{
    if (m_box.running() && !m_modem.isOpen()) {
        m_state.setField(MonitorState::Status,
                         QStringLiteral("Calls from the FRITZ!Box at ") + m_box.address());
        return;
    }
    // Without a modem of its own, a desktop that shows the household's calls is not idle.
    if (!m_state.box(Box::ModemEnabled) && m_household.bringingCallsIn())
        m_state.setField(MonitorState::Status,
                         QStringLiteral("Calls from the household's broker at ") +
                             m_household.address());
}

void Monitor::searchContactsChanged()
{
    if (!m_state.box(Box::SearchContacts)) {
        m_state.setBoxEnabled(Box::CreateContact, false);
        m_state.setBoxEnabled(Box::CreateJournal, false);
        return;
    }
    if (m_config.useAddressBook) {
        m_state.setBoxEnabled(Box::CreateContact, true);
        m_state.setBoxEnabled(Box::CreateJournal, true);
    }
}

void Monitor::clearCallLog()
{
    m_calls.clearLog();
}

void Monitor::removeLeftovers()
{
    ::removeLeftovers(m_logDirectory);
}

void Monitor::loadSettings()
{
    m_config = MonitorConfig::read();
    for (const QString& line : std::as_const(m_config.problems))
        m_events.append(line);
    m_modem.settings().port = m_config.modem.port;
    m_modem.settings().replyTimeout = m_config.modem.replyTimeout;
    m_modem.settings().speed = m_config.modem.speed;
    m_modem.settings().callerIdCommand = m_config.modem.callerIdCommand;
    m_modem.setCheckInterval(m_config.checkIntervalMs);
    m_pollInterval = m_config.pollInterval;
    m_country = m_config.country;
    setAreaCode(m_config.areaCode);
    m_calls.screening().setOptions(m_config.screening);
    for (const auto& [box, stored] : storedBoxes)
        m_state.setBox(box, m_config.boxes.*stored);
    // One list is shown; a file that asks for both shows the call list, the one a user who set
    // "Log" last wanted.
    if (m_config.showEvents)
        m_state.setView(MonitorState::View::Events);
    if (m_config.showCalls)
        m_state.setView(MonitorState::View::Calls);
    m_state.setControlEnabled(MonitorState::FindModem, m_config.findModemAllowed);
}

void Monitor::reReadSetting(const SettingEntry& entry)
{
    m_events.append(QStringLiteral("[Setting %1/%2 is now \"%3\"]")
                        .arg(entry.section, entry.key, entry.read()));
    if (&entry == &Settings::MatchNumberOnly) {
        m_config.matchNumberOnly = entry.isOn();
        return;
    }
    QStringList problems;
    m_calls.screening().setOptions(MonitorConfig::readScreening(numberPlan(), &problems));
    for (const QString& line : std::as_const(problems))
        m_events.append(line);
}

void Monitor::settleLogDirectory()
{
    QStringList lines;
    m_logDirectory = settleLogFolder(m_config.logDirectory, &lines);
    for (const QString& line : std::as_const(lines))
        m_events.append(line);
    m_calls.setLogFolder(m_logDirectory);
}

void Monitor::checkAddressBook()
{
    QString problem;
    m_addressBookAvailable = addressBookProbe(&problem);
    if (m_addressBookAvailable) {
        m_calls.setAddressBookUsable(true);
        // The index is read meanwhile, so the first call finds it ready.
        m_addressBook.warmUp();
        return;
    }
    m_calls.setAddressBookUsable(false);
    if (!problem.isEmpty())
        m_events.append(QStringLiteral("[Address book not available: %1]").arg(problem));
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
        m_state.setBox(box, false);
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
        m_state.setBoxEnabled(box, false);
    m_state.setControlEnabled(MonitorState::NewContact, false);
    m_state.setControlEnabled(MonitorState::NewJournal, false);
    m_state.setControlVisible(MonitorState::SearchNumber, false);
    m_state.setControlVisible(MonitorState::SearchName, false);
    m_state.setControlEnabled(MonitorState::SearchNumber, false);
    m_state.setControlEnabled(MonitorState::SearchName, false);
}

QList<SettingsStore::Entry> Monitor::settingsToSave() const
{
    MonitorConfig::Saved saved;
    saved.modemEnabled = m_state.box(Box::ModemEnabled);
    for (const auto& [box, stored] : storedBoxes)
        saved.boxes.*stored = m_state.box(box);
    saved.showCalls = m_state.view() == MonitorState::View::Calls;
    saved.areaCode = m_areaCode;
    saved.modem = m_modem.settings();
    return m_config.entriesToSave(saved);
}

void Monitor::saveSettings()
{
    SettingsStore store(Settings::Application);
    if (!store.saveAll(settingsToSave()))
        m_events.append(QStringLiteral("[Couldn't save the settings to %1: %2]")
                            .arg(store.filePath(), store.lastError()));
}

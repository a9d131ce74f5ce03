#include "monitor/Monitor.h"

#include "addressbook/AddressBookPaths.h"
#include "calls/LogFolder.h"
#include "common/AppPaths.h"
#include "common/Conversions.h"
#include "common/SafeFile.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "monitor/WindowControl.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <malloc.h>
#include <utility>

using Box = WindowModel::Box;

Monitor::Monitor(WindowControl& window)
    : receiver(), exchange(line, receiver), search(line, exchange, modemSettings),
      modemSwitch(line, search), contacts(addressBook), processor(noContacts, logFile),
      hook(line, receiver), m_window(window)
{
    // Rings come every six seconds; caller ID comes between the first two.
    m_ringsOfBlocked.setSingleShot(true);
    m_ringsOfBlocked.setInterval(8000);
    m_ringWithoutCaller.setSingleShot(true);
    m_ringWithoutCaller.setInterval(6000);
    QObject::connect(&m_ringWithoutCaller, &QTimer::timeout, &model, [this] {
        if (model.box(Box::MaximizeOnRing))
            m_window.bringBack();
    });
    receiver.attach(line.device());
    // Every part reports to the event log; the window's list, the broker and whoever else
    // subscribes show what it says.
    auto toEvents = [this](EventLog::Kind kind) {
        return [this, kind](const QString& text) {
            events.append(text, kind);
        };
    };
    using Kind = EventLog::Kind;
    QObject::connect(&model, &WindowModel::fieldChanged, this,
                     [this](WindowModel::Field which, const QString& text) {
                         if (which == WindowModel::Status)
                             emit statusChanged(text);
                     });
    QObject::connect(&events, &EventLog::added, &model,
                     [this](const EventLog::Event& event) { model.appendEvent(event.text); });
    QObject::connect(&events, &EventLog::cleared, &model,
                     [this] { model.eventList.setStringList({}); });
    QObject::connect(
        &line, &SerialLine::portLost, &model, [this](const QString& device, const QString& reason) {
            events.append(QStringLiteral("[Modem port %1 failed: %2; closed]").arg(device, reason));
            model.setField(WindowModel::Status, QStringLiteral("ERROR, MODEM DISCONNECTED"));
        });

    QObject::connect(&receiver, &ModemReceiver::eventLine, &model, toEvents(Kind::Modem));
    QObject::connect(&receiver, &ModemReceiver::recordChanged, &model,
                     [this](const CallerId& record) {
                         model.setField(WindowModel::Name, record.name);
                         model.setField(WindowModel::Number, record.number);
                         model.setField(WindowModel::Date, record.date);
                         model.setField(WindowModel::Time, record.time);
                     });
    QObject::connect(&receiver, &ModemReceiver::ring, &model, [this] { ringed(); });
    QObject::connect(&screen, &CallScreen::eventLine, &model, toEvents(Kind::Screening));
    QObject::connect(&hook, &LineHook::eventLine, &model, toEvents(Kind::Modem));
    QObject::connect(&bus, &CallBus::commandReceived, &model,
                     [this](const CallMessage::Command& command) {
                         switch (command.action) {
                         case CallMessage::Command::Block:
                             blockNumber(command.number);
                             break;
                         case CallMessage::Command::Unblock:
                             unblockNumber(command.number, command.name);
                             break;
                         case CallMessage::Command::HangUp:
                             hangUpOnRequest();
                             break;
                         }
                     });
    QObject::connect(&receiver, &ModemReceiver::recordComplete, &model,
                     [this](const CallerId& record) { recordComplete(record); });

    QObject::connect(&search, &ModemSearch::eventLine, &model, toEvents(Kind::Modem));
    QObject::connect(&search, &ModemSearch::status, &model,
                     [this](const QString& text) { model.setField(WindowModel::Status, text); });
    QObject::connect(&search, &ModemSearch::beep, &model, [this] { m_window.beep(); });
    // Queued: a search that found nothing to open ends before turnOn() has returned.
    QObject::connect(&search, &ModemSearch::finished, this, &Monitor::modemSettled,
                     Qt::QueuedConnection);
    QObject::connect(&search, &ModemSearch::notFound, &model,
                     [this](const QStringList& problems) { m_window.showModemError(problems); });

    QObject::connect(&model, &WindowModel::boxChanged, &model, [this](Box box) {
        if (box == Box::SearchContacts)
            searchContactsChanged();
    });

    QObject::connect(&logFile, &CallLogFile::eventLine, &model, toEvents(Kind::Call));
    QObject::connect(&noContacts, &CallerContacts::eventLine, &model, toEvents(Kind::Call));
    QObject::connect(&contacts, &CallerContacts::eventLine, &model, toEvents(Kind::Call));
    QObject::connect(&processor, &CallProcessor::eventLine, &model, toEvents(Kind::Call));
    processor.setHistory(&history);
    QObject::connect(&history, &CallHistory::eventLine, &model, toEvents(Kind::Call));
    QObject::connect(&history, &CallHistory::changed, &model, [this] { model.callList.refresh(); });
    QObject::connect(&processor, &CallProcessor::callProcessed, &model, [this](CallRecord call) {
        model.callList.add(call);
        if (!call.origin.isEmpty())
            return;
        call.line = line.deviceName();
        bus.publishCall(call);
    });

    QObject::connect(&events, &EventLog::added, &bus,
                     [this](const EventLog::Event& event) { bus.publishEvent(event.text); });
    QObject::connect(&bus, &CallBus::report, &model, toEvents(Kind::Household));
    QObject::connect(&bus, &CallBus::status, &model,
                     [this](const QString& text) { model.setField(WindowModel::Status, text); });
    QObject::connect(&bus, &CallBus::remoteCall, &model,
                     [this](const CallRecord& call) { showRemoteCall(call); });
    QObject::connect(&bus, &CallBus::connected, &model, [this] { showWhereCallsComeFrom(); });
    addressBookProbe = [](QString* problem) {
        return AddressBook::usable(problem);
    };
}

namespace {

QString standInKey(const SettingEntry& entry)
{
    return (entry.section + u'/' + entry.key).toCaseFolded();
}

} // namespace

void Monitor::keepStoredUnlessChanged(const SettingEntry& entry, const QString& given)
{
    m_standIns.insert(standInKey(entry), given);
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
    receiver.setNumberPlan(plan);
    contacts.setNumberPlan(plan);
    screen.setNumberPlan(plan);
    addressBook.setCountry(plan.country());
}

CallOptions Monitor::callOptions() const
{
    CallOptions options;
    options.searchContacts = model.box(Box::SearchContacts);
    options.createContact = model.box(Box::CreateContact) && model.boxEnabled(Box::CreateContact);
    options.createJournal = model.box(Box::CreateJournal);
    options.matchNumberOnly = Conversions::numericEquals(Settings::MatchNumberOnly.read(), 1);
    options.source = line.deviceName();
    return options;
}

void Monitor::ringed()
{
    m_lastRing.start();
    if (m_ringsOfBlocked.isActive()) {
        m_ringsOfBlocked.start(); // still the blocked call
        return;
    }
    if (screen.options().mode != ScreeningOptions::Off) {
        if (!m_ringWithoutCaller.isActive())
            m_ringWithoutCaller.start();
        return;
    }
    if (model.box(Box::MaximizeOnRing))
        m_window.bringBack();
}

bool Monitor::knownCaller(const CallerId& record)
{
    if (!m_addressBookAvailable)
        return false;
    const QString number = record.e164.isEmpty() ? record.number : record.e164;
    return addressBook.findContact(ContactQuery::numberAlone(number), numberPlan()).item != nullptr;
}

bool Monitor::ringing() const
{
    return m_lastRing.isValid() && !m_lastRing.hasExpired(m_ringsOfBlocked.interval());
}

void Monitor::hangUpOnRequest()
{
    // Off-hook with nothing ringing would answer the next caller or block the line for a
    // call the user is about to make.
    if (!ringing() && !hook.busy()) {
        events.append(QStringLiteral("[Hang up refused: no call is ringing]"));
        return;
    }
    hangUpNow();
}

void Monitor::hangUpNow()
{
    m_ringsOfBlocked.start();
    m_ringWithoutCaller.stop();
    hook.hangUp(screen.options().hangUpDelay);
}

void Monitor::blockNumber(const QString& number)
{
    if (number.trimmed().isEmpty())
        return; // a withheld caller: nothing to block by
    if (!screen.block(number))
        return;
    if (screen.options().mode == ScreeningOptions::Off)
        events.append(QStringLiteral("[Screening is off: the number is blocked once it is on "
                                     "(ringdesk-config, \"Screening\")]"));
}

void Monitor::unblockNumber(const QString& number, const QString& name)
{
    if (number.trimmed().isEmpty())
        return;
    screen.unblock(number, name);
}

void Monitor::recordComplete(const CallerId& record)
{
    m_lastRing.start();
    const bool screening = screen.options().mode != ScreeningOptions::Off;
    const CallScreen::Verdict verdict =
        screen.decide(record, [this, &record] { return knownCaller(record); });
    if (verdict.blocked) {
        // The modem first: the caller's line should ring as little as it can.
        if (screen.options().hangUp)
            hangUpNow();
        else
            m_ringsOfBlocked.start();
        m_ringWithoutCaller.stop();
        events.append(
            QStringLiteral("[Blocked %1: %2]")
                .arg(record.number.isEmpty() ? record.name : record.number, verdict.rule));
        processor.logBlocked(record, verdict.rule, line.deviceName());
        return;
    }
    if (screening) {
        // A caller let through: the window comes forward now, as it would have on the ring.
        m_ringWithoutCaller.stop();
        m_ringsOfBlocked.stop();
        if (model.box(Box::MaximizeOnRing))
            m_window.bringBack();
    }
    if (model.box(Box::PlaySound))
        m_window.playChime();
    processor.ProcessCallID(record, callOptions());
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
    history.setE164([plan = numberPlan()](const QString& number) { return plan.e164(number); });
    history.open(logFile.folder(), logFile.LoadCallLog());
    // The log was read whole once, to find what the history lacks; that memory goes back.
    malloc_trim(0);
    model.callList.setHistory(&history);
    m_callLogLoaded = true;
    takeRemoteCalls();
    const QString switchText = Settings::SetupFindModem.read();
    const std::optional<qint16> switchState = Conversions::toInt16(switchText);
    if (!switchState || (*switchState != 0 && *switchState != 1)) {
        events.append(QStringLiteral("[Setting Setup/FindModem holds \"%1\", not 0 or 1; using 1]")
                          .arg(switchText));
        keepStoredUnlessChanged(Settings::SetupFindModem, QStringLiteral("1"));
    }
    m_activating = true;
    setModemEnabled(!(switchState && *switchState == 0));
    if (!search.running())
        modemSettled();
}

void Monitor::modemSettled()
{
    if (search.running())
        return; // switched off and on again: the newer search has the last word
    if (std::exchange(m_switchingOn, false) && modemSwitch.isOn())
        enableModemControls();
    if (!std::exchange(m_activating, false) || m_shuttingDown)
        return;
    model.setBoxEnabled(Box::ModemEnabled, true);
    if (!model.box(Box::ModemEnabled)) {
        manualMode();
        showWhereCallsComeFrom();
    }
    emit activated();
}

void Monitor::finishActivation()
{
    receiver.setPollInterval(m_pollInterval);
    // Once the number plan is known: a typo in a list is told now, not at the next call.
    screen.watchLists();
}

void Monitor::unload()
{
    // A modem search waiting for a reply stops at once instead of holding the program up.
    m_shuttingDown = true;
    search.stop();
    exchange.shutDown();
    line.close();
    bus.stop();
    saveSettings();
    logFile.SaveEventLog(events.lines());
}

void Monitor::setModemEnabled(bool on)
{
    if (model.box(Box::ModemEnabled) == on)
        return;
    model.setBox(Box::ModemEnabled, on);
    switchModem(on);
    showWhereCallsComeFrom();
}

void Monitor::switchModem(bool on)
{
    if (!on) {
        manualMode();
        return;
    }
    const bool findAllowed = Conversions::toTruth(Settings::ModemFindModem.read()).value_or(true);
    model.setControlEnabled(WindowModel::FindModem, findAllowed);
    refreshPortsToSearch();
    // With a search under way, the rest waits for it; switched off meanwhile, manual mode has had
    // the last word.
    if (modemSwitch.turnOn()) {
        m_switchingOn = true;
        return;
    }
    enableModemControls();
}

void Monitor::enableModemControls()
{
    if (m_addressBookAvailable) {
        for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
            model.setBoxEnabled(box, true);
    }
    model.setBoxEnabled(Box::MaximizeOnRing, true);
    model.setBoxEnabled(Box::PlaySound, true);
    m_window.setModemMenuChecks(true);
    m_window.setTrayImage(WindowControl::TrayImage::Window);
    searchContactsChanged();
}

void Monitor::manualMode()
{
    model.setField(WindowModel::Status, QStringLiteral("Manual Mode"));
    model.setControlEnabled(WindowModel::FindModem, false);
    modemSwitch.turnOff();
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::MaximizeOnRing,
                    Box::CreateJournal, Box::PlaySound})
        model.setBoxEnabled(box, false);
    m_window.setModemMenuChecks(false);
    m_window.setTrayImage(WindowControl::TrayImage::ModemOff);
}

void Monitor::refreshPortsToSearch()
{
    modemSettings.portsToSearch = Conversions::toInt16(Settings::NumberOfCom.read()).value_or(4);
}

void Monitor::findModem()
{
    modemSettings.port = QStringLiteral("0");
    if (!model.box(Box::ModemEnabled)) {
        manualMode();
        return;
    }
    refreshPortsToSearch();
    search.SearchModems();
}

void Monitor::startBus()
{
    QStringList problems;
    const MqttOptions options = MqttOptions::fromSettings(&problems);
    for (const QString& problem : problems)
        events.append(u'[' + problem + u']');
    if (!options.enabled())
        return;
    const QString folder = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    QDir().mkpath(folder);
    bus.start(options, folder + QStringLiteral("/mqtt-outbox"));
}

void Monitor::showRemoteCall(const CallRecord& call)
{
    m_remoteCalls.append(call);
    takeRemoteCalls();
}

void Monitor::showWhereCallsComeFrom()
{
    // Without a modem of its own, a desktop that shows the household's calls is not idle.
    if (!model.box(Box::ModemEnabled) && bus.bringingCallsIn())
        model.setField(WindowModel::Status,
                       QStringLiteral("Calls from the household's broker at ") + bus.address());
}

void Monitor::takeRemoteCalls()
{
    // They join the call list after the calls of earlier runs. A record of our own modem that is
    // still arriving owns the caller fields until it is logged.
    while (m_callLogLoaded && !m_remoteCalls.isEmpty() && !m_shuttingDown) {
        if (receiver.recordUnderWay()) {
            if (!m_remoteWaiting)
                QTimer::singleShot(50, &model, [this] {
                    m_remoteWaiting = false;
                    takeRemoteCalls();
                });
            m_remoteWaiting = true;
            return;
        }
        const CallRecord call = m_remoteCalls.takeFirst();
        events.append(QStringLiteral("[Call from %1, on the household's broker]")
                          .arg(call.line.isEmpty() ? call.origin : call.origin + u' ' + call.line));
        if (call.blocked) {
            events.append(
                QStringLiteral("[Blocked %1: %2]")
                    .arg(call.number.isEmpty() ? call.name : call.number, call.blockRule));
        } else {
            model.setField(WindowModel::Date, call.date);
            model.setField(WindowModel::Time, call.time);
            model.setField(WindowModel::Number, call.number);
            model.setField(WindowModel::Name, call.name);
        }
        processor.processRemote(call, callOptions());
    }
}

void Monitor::searchContactsChanged()
{
    if (!model.box(Box::SearchContacts)) {
        model.setBoxEnabled(Box::CreateContact, false);
        model.setBoxEnabled(Box::CreateJournal, false);
        return;
    }
    if (Conversions::numericEquals(Settings::UseAddressBook.read(), 1)) {
        model.setBoxEnabled(Box::CreateContact, true);
        model.setBoxEnabled(Box::CreateJournal, true);
    }
}

bool Monitor::searchByNumber()
{
    const AddressBookContacts::HandSearch found =
        contacts.searchByNumber(model.field(WindowModel::Number), model.field(WindowModel::Name));
    model.setField(WindowModel::Number, found.number);
    m_offer = found.offer;
    return found.found;
}

bool Monitor::searchByName()
{
    const bool company = model.field(WindowModel::NameCaption) != QLatin1String("Name");
    const AddressBookContacts::HandSearch found = contacts.searchByName(
        model.field(WindowModel::Name), company, model.field(WindowModel::Number));
    m_offer = found.offer;
    return found.found;
}

void Monitor::newContact()
{
    contacts.createContactForUser(CallerContacts::NewFor::Nothing, QString(), QString());
}

void Monitor::newJournal()
{
    contacts.createJournalForUser();
}

void Monitor::createOfferedContact()
{
    const bool person = model.field(WindowModel::NameCaption) == QLatin1String("Name");
    contacts.createContactForUser(person ? CallerContacts::NewFor::Name
                                         : CallerContacts::NewFor::Company,
                                  model.field(WindowModel::Name), model.field(WindowModel::Number));
}

void Monitor::clearCallLog()
{
    logFile.ClearCallLog();
    history.clear();
    model.callList.clear();
}

void Monitor::removeLeftovers()
{
    auto named = [](QStringList names) {
        return [names](const QString& name) {
            return names.contains(name);
        };
    };
    auto endingIn = [](QString suffix) {
        return [suffix](const QString& name) {
            return name.endsWith(suffix, Qt::CaseInsensitive);
        };
    };
    const QString ours = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    const QStringList logs{QStringLiteral("CallLog.txt"), QStringLiteral("CallEvnt.txt"),
                           QStringLiteral("mqtt-outbox")};
    SafeFile::removeLeftovers(ours, named(logs));
    if (!m_logDirectory.isEmpty())
        SafeFile::removeLeftovers(m_logDirectory, named(logs));
    // Folders other programs share: only what has the name of a file we write there.
    SafeFile::removeLeftovers(
        AppPaths::configHome(),
        named({QFileInfo(SettingsStore::pathFor(Settings::Application)).fileName()}));
    SafeFile::removeLeftovers(AddressBookPaths::contactsFolder(), endingIn(QStringLiteral(".vcf")));
    SafeFile::removeLeftovers(AddressBookPaths::journalFolder(), endingIn(QStringLiteral(".ics")));
    SafeFile::removeLeftovers(AppPaths::cacheHome() + QStringLiteral("/ringdesk"),
                              endingIn(QStringLiteral(".index")));
}

void Monitor::loadBox(Box box, const SettingEntry& entry)
{
    const QString text = entry.read();
    const std::optional<qint16> value = Conversions::toInt16(text);
    if (value && (*value == 0 || *value == 1)) {
        model.setBox(box, *value == 1);
        return;
    }
    // Nothing this system writes looks like this; the box keeps to its default.
    events.append(QStringLiteral("[Setting %1/%2 holds \"%3\", not 0 or 1; using %4]")
                      .arg(entry.section, entry.key, text, entry.defaultValue));
    model.setBox(box, entry.defaultValue == QLatin1String("1"));
    keepStoredUnlessChanged(entry, entry.defaultValue);
}

bool Monitor::loadTruth(const SettingEntry& entry)
{
    const QString text = entry.read();
    const std::optional<bool> value = Conversions::toTruth(text);
    if (value)
        return *value;
    events.append(QStringLiteral("[Setting %1/%2 holds \"%3\", not True or False; using %4]")
                      .arg(entry.section, entry.key, text, entry.defaultValue));
    keepStoredUnlessChanged(entry, entry.defaultValue);
    return Conversions::toTruth(entry.defaultValue).value_or(false);
}

void Monitor::loadSettings()
{
    const QString problem = SettingsStore(Settings::Application).problem();
    if (!problem.isEmpty())
        events.append(u'[' + problem + u']');

    modemSettings.port = Settings::ComPort.read();
    modemSettings.replyTimeout = Settings::ModemResponseTimeout.read();
    modemSettings.speed = Settings::BaudRate.read();
    m_pollInterval = Settings::PollInterval.read();
    modemSettings.callerIdCommand = Settings::CallIDString.read();
    m_country = Settings::Country.read();
    setAreaCode(Settings::AreaCode.read());
    loadScreening();
    loadBox(Box::SearchContacts, Settings::AutoSearchContact);
    loadBox(Box::CreateContact, Settings::AutoCreateContact);
    loadBox(Box::MaximizeOnRing, Settings::Maximize);
    loadBox(Box::CreateJournal, Settings::AutoCreateJournal);
    loadBox(Box::MinimizeOnStart, Settings::Minimize);
    loadBox(Box::UseTray, Settings::SystemTray);
    loadBox(Box::PlaySound, Settings::PlayWavFile);
    const bool events = loadTruth(Settings::Event);
    const bool log = loadTruth(Settings::Log);
    // One list is shown; a file that asks for both shows the call list, the one a user who set
    // "Log" last wanted.
    if (events)
        model.setView(WindowModel::View::Events);
    if (log)
        model.setView(WindowModel::View::Calls);
    model.setControlEnabled(WindowModel::FindModem, loadTruth(Settings::ModemFindModem));
}

void Monitor::loadScreening()
{
    ScreeningOptions options;
    auto number = [this](const SettingEntry& entry, int low, int high, int fallback) {
        const QString text = entry.read();
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (ok && value >= low && value <= high)
            return value;
        events.append(QStringLiteral("[Setting %1/%2 holds \"%3\", not %4 to %5; using %6]")
                          .arg(entry.section, entry.key, text)
                          .arg(low)
                          .arg(high)
                          .arg(fallback));
        return fallback;
    };
    options.mode = ScreeningOptions::Mode(number(Settings::ScreeningMode, 0, 2, 0));
    options.blockWithheld = number(Settings::ScreeningWithheld, 0, 1, 0) == 1;
    options.hangUpDelay = number(Settings::ScreeningHangupDelay, 0, 60000, 2000);
    const QString action = Settings::ScreeningAction.read().trimmed();
    options.hangUp = action.compare(QLatin1String("silence"), Qt::CaseInsensitive) != 0;
    if (options.hangUp && action.compare(QLatin1String("hangup"), Qt::CaseInsensitive) != 0)
        events.append(QStringLiteral("[Setting Screening/Action holds \"%1\", not hangup or "
                                     "silence; using hangup]")
                          .arg(action));
    screen.setOptions(options);
}

void Monitor::settleLogDirectory()
{
    m_logDirectory = Settings::LogDirectory.read();
    if (!m_logDirectory.isEmpty() && !QDir::isAbsolutePath(m_logDirectory)) {
        events.append(QStringLiteral("[Setting Setup/LogDirectory holds \"%1\", not an "
                                     "absolute folder; using the data folder]")
                          .arg(m_logDirectory));
        m_logDirectory.clear();
    }
    if (m_logDirectory.isEmpty()) {
        QString problem;
        m_logDirectory = defaultLogFolder(&problem);
        if (m_logDirectory.isEmpty())
            events.append(u'[' + problem +
                          QStringLiteral("; calls are not written to a log file]"));
    }
    logFile.setFolder(m_logDirectory);
}

void Monitor::checkAddressBook()
{
    QString problem;
    m_addressBookAvailable = addressBookProbe(&problem);
    if (m_addressBookAvailable) {
        processor.setContacts(contacts);
        // The index is read meanwhile, so the first call finds it ready.
        addressBook.warmUp();
        return;
    }
    processor.setContacts(noContacts);
    if (!problem.isEmpty())
        events.append(QStringLiteral("[Address book not available: %1]").arg(problem));
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
        model.setBox(box, false);
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
        model.setBoxEnabled(box, false);
    model.setControlEnabled(WindowModel::NewContact, false);
    model.setControlEnabled(WindowModel::NewJournal, false);
    model.setControlVisible(WindowModel::SearchNumber, false);
    model.setControlVisible(WindowModel::SearchName, false);
    model.setControlEnabled(WindowModel::SearchNumber, false);
    model.setControlEnabled(WindowModel::SearchName, false);
}

QList<SettingsStore::Entry> Monitor::settingsToSave() const
{
    auto box = [this](Box which) {
        return model.box(which) ? QStringLiteral("1") : QStringLiteral("0");
    };
    const std::pair<const SettingEntry&, QString> table[] = {
        {Settings::SetupFindModem, box(Box::ModemEnabled)},
        {Settings::AutoSearchContact, box(Box::SearchContacts)},
        {Settings::AutoCreateContact, box(Box::CreateContact)},
        {Settings::Maximize, box(Box::MaximizeOnRing)},
        {Settings::AutoCreateJournal, box(Box::CreateJournal)},
        {Settings::Minimize, box(Box::MinimizeOnStart)},
        {Settings::SystemTray, box(Box::UseTray)},
        {Settings::PlayWavFile, box(Box::PlaySound)},
        {Settings::AreaCode, m_areaCode},
        {Settings::ComPort, modemSettings.port},
        {Settings::ModemResponseTimeOut, modemSettings.replyTimeout},
        {Settings::CallIDString, modemSettings.callerIdCommand},
        {Settings::BaudRate, modemSettings.speed},
        {Settings::Log, Conversions::truthText(model.view() == WindowModel::View::Calls)},
        {Settings::Event, Conversions::truthText(model.view() == WindowModel::View::Events)},
    };
    QList<SettingsStore::Entry> entries;
    for (const auto& [entry, value] : table) {
        const auto standIn = m_standIns.constFind(standInKey(entry));
        if (standIn != m_standIns.cend() && *standIn == value)
            continue;
        entries.append({entry.section, entry.key, value});
    }
    return entries;
}

void Monitor::saveSettings()
{
    SettingsStore store(Settings::Application);
    if (!store.saveAll(settingsToSave()))
        events.append(QStringLiteral("[Couldn't save the settings to %1: %2]")
                          .arg(store.filePath(), store.lastError()));
}

#include "monitor/Monitor.h"

#include "addressbook/HostProbe.h"
#include "calls/SystemPath.h"
#include "common/AddressBookPaths.h"
#include "common/AppPaths.h"
#include "common/Conversions.h"
#include "common/SafeFile.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

Monitor::Monitor(WindowControl& window)
    : logFile(state), exchange(state, comm), receiver(state, window),
      search(state, window, comm, exchange), modemSwitch(state, window), noContacts(state),
      outlook(state, addressBook), processor(state, noContacts, logFile)
{
    receiver.attach(comm.device());
    ModemSwitch::Port port;
    port.isOpen = [this] {
        return comm.PortOpen();
    };
    port.close = [this] {
        comm.close();
    };
    port.SearchModems = [this] {
        search.SearchModems();
    };
    modemSwitch.setPort(port);
    search.setManualMode([this] { modemSwitch.ManualMode(); });
    QObject::connect(
        &comm, &Comm1::portLost, &state, [this](const QString& device, const QString& reason) {
            state.appendEvent(
                QStringLiteral("[Modem port %1 failed: %2; closed]").arg(device, reason));
            state.setField(MonitorState::SystemMessage,
                           QStringLiteral("ERROR, MODEM DISCONNECTED"));
        });
    receiver.setAlertSound(&m_sound, AppPaths::dataFile(QStringLiteral("gotit.wav")));
    QObject::connect(&receiver, &ModemReceiver::recordComplete, &state,
                     [this] { processor.ProcessCallID(); });
    QObject::connect(&state, &MonitorState::checkChanged, &state, [this](int number, int) {
        if (number == 1) {
            modemSwitch.Check1Click();
            showWhereCallsComeFrom();
        } else if (number == 2) {
            Check2Click();
        }
    });
    modemSwitch.setCheck2Action([this] { Check2Click(); });
    QObject::connect(&processor, &CallProcessor::callProcessed, &bus, [this](CallRecord call) {
        if (!call.origin.isEmpty())
            return;
        call.line = comm.deviceName();
        bus.publishCall(call);
    });
    QObject::connect(&state, &MonitorState::eventAppended, &bus, &CallBus::publishEvent);
    QObject::connect(&bus, &CallBus::report, &state,
                     [this](const QString& line) { state.appendEvent(line); });
    QObject::connect(&bus, &CallBus::status, &state, [this](const QString& text) {
        state.setField(MonitorState::SystemMessage, text);
    });
    QObject::connect(&bus, &CallBus::remoteCall, &state,
                     [this](const CallRecord& call) { showRemoteCall(call); });
    QObject::connect(&bus, &CallBus::connected, &state, [this] { showWhereCallsComeFrom(); });
    outlookProbe = [](QString* problem) {
        return CheckOutlookObject(problem);
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

void Monitor::load()
{
    loadSettings();
    settleLogDirectory();
    removeLeftovers();
    checkOutlook();
    // The network does not wait for the modem search, nor for a box that search may show.
    startBus();
}

bool Monitor::activate()
{
    logFile.LoadCallLog();
    m_callLogLoaded = true;
    takeRemoteCalls();
    const QString switchText = Settings::SetupFindModem.read();
    const std::optional<qint16> switchState = Conversions::toInt16(switchText);
    if (!switchState || (*switchState != 0 && *switchState != 1)) {
        state.appendEvent(
            QStringLiteral("[Setting Setup/FindModem holds \"%1\", not 0 or 1; using 1]")
                .arg(switchText));
        keepStoredUnlessChanged(Settings::SetupFindModem, QStringLiteral("1"));
    }
    state.setCheck(1, switchState && *switchState == 0 ? 0 : 1);
    if (state.ShuttingDown)
        return false;
    state.CallRecordState = 0;
    state.setCheckEnabled(1, true);
    if (state.check(1) == 0) {
        modemSwitch.ManualMode();
        showWhereCallsComeFrom();
    }
    return !state.ShuttingDown;
}

void Monitor::finishActivation()
{
    state.PollState = 0;
    receiver.setPollInterval(state.PollInterval);
}

void Monitor::unload()
{
    // A modem search waiting for a reply stops at once instead of holding the program up.
    state.beginShutdown();
    comm.close();
    bus.stop();
    saveSettings();
    logFile.SaveEventLog();
}

void Monitor::startBus()
{
    QStringList problems;
    const MqttOptions options = MqttOptions::fromSettings(&problems);
    for (const QString& problem : problems)
        state.appendEvent(u'[' + problem + u']');
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
    if (state.check(1) == 0 && bus.bringingCallsIn())
        state.setField(MonitorState::SystemMessage,
                       QStringLiteral("Calls from the household's broker at ") + bus.address());
}

void Monitor::takeRemoteCalls()
{
    // They join the call list after the calls of earlier runs. A record of our own modem that is
    // still arriving owns the caller fields until it is logged.
    while (m_callLogLoaded && !m_remoteCalls.isEmpty() && !state.ShuttingDown) {
        if (state.PollState != 0 || state.CallRecordState != 0) {
            if (!m_remoteWaiting)
                QTimer::singleShot(50, &state, [this] {
                    m_remoteWaiting = false;
                    takeRemoteCalls();
                });
            m_remoteWaiting = true;
            return;
        }
        const CallRecord call = m_remoteCalls.takeFirst();
        state.appendEvent(
            QStringLiteral("[Call from %1, on the household's broker]")
                .arg(call.line.isEmpty() ? call.origin : call.origin + u' ' + call.line));
        processor.processRemote(call);
    }
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
    if (!state.LogDirectory.isEmpty())
        SafeFile::removeLeftovers(state.LogDirectory, named(logs));
    // Folders other programs share: only what has the name of a file we write there.
    SafeFile::removeLeftovers(
        AppPaths::configHome(),
        named({QFileInfo(SettingsStore::pathFor(Settings::Application)).fileName()}));
    SafeFile::removeLeftovers(AddressBookPaths::contactsFolder(), endingIn(QStringLiteral(".vcf")));
    SafeFile::removeLeftovers(AddressBookPaths::journalFolder(), endingIn(QStringLiteral(".ics")));
    SafeFile::removeLeftovers(AppPaths::cacheHome() + QStringLiteral("/ringdesk"),
                              endingIn(QStringLiteral(".index")));
}

void Monitor::Check2Click()
{
    if (state.check(2) == 0) {
        state.setCheckEnabled(3, false);
        state.setCheckEnabled(5, false);
        return;
    }
    if (Conversions::numericEquals(Settings::Outlook.read(), 1)) {
        state.setCheckEnabled(3, true);
        state.setCheckEnabled(5, true);
    }
}

void Monitor::loadCheck(int number, const SettingEntry& entry)
{
    const QString text = entry.read();
    const std::optional<qint16> value = Conversions::toInt16(text);
    if (value && (*value == 0 || *value == 1)) {
        state.setCheck(number, *value);
        return;
    }
    // Nothing this system writes looks like this; the box keeps to its default.
    state.appendEvent(QStringLiteral("[Setting %1/%2 holds \"%3\", not 0 or 1; using %4]")
                          .arg(entry.section, entry.key, text, entry.defaultValue));
    state.setCheck(number, entry.defaultValue.toInt());
    keepStoredUnlessChanged(entry, entry.defaultValue);
}

bool Monitor::loadTruth(const SettingEntry& entry)
{
    const QString text = entry.read();
    const std::optional<bool> value = Conversions::toTruth(text);
    if (value)
        return *value;
    state.appendEvent(QStringLiteral("[Setting %1/%2 holds \"%3\", not True or False; using %4]")
                          .arg(entry.section, entry.key, text, entry.defaultValue));
    keepStoredUnlessChanged(entry, entry.defaultValue);
    return Conversions::toTruth(entry.defaultValue).value_or(false);
}

void Monitor::loadSettings()
{
    const QString problem = SettingsStore(Settings::Application).problem();
    if (!problem.isEmpty())
        state.appendEvent(u'[' + problem + u']');

    state.ComPort = Settings::ComPort.read();
    state.ModemResponseTimeout = Settings::ModemResponseTimeout.read();
    state.BaudRate = Settings::BaudRate.read();
    state.PollInterval = Settings::PollInterval.read();
    state.CallIDString = Settings::CallIDString.read();
    state.AreaCode = Settings::AreaCode.read();
    loadCheck(2, Settings::AutoSearchContact);
    loadCheck(3, Settings::AutoCreateContact);
    loadCheck(4, Settings::Maximize);
    loadCheck(5, Settings::AutoCreateJournal);
    loadCheck(6, Settings::Minimize);
    loadCheck(7, Settings::SystemTray);
    loadCheck(8, Settings::PlayWavFile);
    state.setOption(1, loadTruth(Settings::Event));
    state.setOption(2, loadTruth(Settings::Log));
    state.setControlEnabled(MonitorState::Command4, loadTruth(Settings::ModemFindModem));
}

void Monitor::settleLogDirectory()
{
    state.LogDirectory = Settings::LogDirectory.read();
    if (!state.LogDirectory.isEmpty() && !QDir::isAbsolutePath(state.LogDirectory)) {
        state.appendEvent(QStringLiteral("[Setting Setup/LogDirectory holds \"%1\", not an "
                                         "absolute folder; using the data folder]")
                              .arg(state.LogDirectory));
        state.LogDirectory.clear();
    }
    if (!state.LogDirectory.isEmpty())
        return;
    QString problem;
    state.LogDirectory = GetSystemPath(&problem);
    if (state.LogDirectory.isEmpty())
        state.appendEvent(u'[' + problem +
                          QStringLiteral("; calls are not written to a log file]"));
}

void Monitor::checkOutlook()
{
    QString problem;
    state.OutlookAvailable = outlookProbe(&problem);
    if (state.OutlookAvailable) {
        processor.setContacts(outlook);
        // The index is read meanwhile, so the first call finds it ready.
        addressBook.warmUp();
        return;
    }
    processor.setContacts(noContacts);
    if (!problem.isEmpty())
        state.appendEvent(QStringLiteral("[Address book not available: %1]").arg(problem));
    for (int box : {2, 3, 5})
        state.setCheck(box, 0);
    for (int box : {2, 3, 5})
        state.setCheckEnabled(box, false);
    state.setControlEnabled(MonitorState::Command3, false);
    state.setControlEnabled(MonitorState::Command8, false);
    state.setControlVisible(MonitorState::Picture1, false);
    state.setControlVisible(MonitorState::Picture2, false);
    state.setControlEnabled(MonitorState::Picture1, false);
    state.setControlEnabled(MonitorState::Picture2, false);
}

QList<SettingsStore::Entry> Monitor::settingsToSave() const
{
    const QString boxes[] = {QStringLiteral("0"), QStringLiteral("1")};
    auto box = [&](int number) {
        return boxes[state.check(number) == 1 ? 1 : 0];
    };
    const std::pair<const SettingEntry&, QString> table[] = {
        {Settings::SetupFindModem, box(1)},
        {Settings::AutoSearchContact, box(2)},
        {Settings::AutoCreateContact, box(3)},
        {Settings::Maximize, box(4)},
        {Settings::AutoCreateJournal, box(5)},
        {Settings::Minimize, box(6)},
        {Settings::SystemTray, box(7)},
        {Settings::PlayWavFile, box(8)},
        {Settings::AreaCode, state.AreaCode},
        {Settings::ComPort, state.ComPort},
        {Settings::ModemResponseTimeOut, state.ModemResponseTimeout},
        {Settings::CallIDString, state.CallIDString},
        {Settings::BaudRate, state.BaudRate},
        {Settings::Log, Conversions::truthText(state.option(2))},
        {Settings::Event, Conversions::truthText(state.option(1))},
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
        state.appendEvent(QStringLiteral("[Couldn't save the settings to %1: %2]")
                              .arg(store.filePath(), store.lastError()));
}

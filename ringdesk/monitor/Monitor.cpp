#include "monitor/Monitor.h"

#include "calls/LogFolder.h"
#include "common/AppPaths.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "common/SettingsWatcher.h"
#include "monitor/MessageFolder.h"
#include "monitor/WindowControl.h"

#include <QLocale>
#include <utility>

using Box = MonitorState::Box;

Monitor::Monitor(WindowControl& window)
    : m_box(this), m_modem(this), m_calls(m_events, m_addressBook, m_modem, this),
      m_household(m_events, m_calls, m_modem, this), m_modemChoice(m_state, m_modem, window, this),
      m_voice(m_modem, this), m_blockedVoice(m_modem, m_voice, this),
      m_machine(m_modem, m_voice, this), m_window(window)
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
    QObject::connect(&m_voice, &VoiceProbe::eventLine, &m_state, toEvents(Kind::Modem));
    // A modem set up for caller ID, found or back, is asked what voice it has, a moment later:
    // a program stopped right after its start leaves no question in the modem for the next
    // start to take the answers of.
    m_voiceDue.setSingleShot(true);
    m_voiceDue.setInterval(1500);
    QObject::connect(&m_modem, &ModemControl::stateChanged, this, [this](ModemControl::State now) {
        m_voice.stop();
        if (now == ModemControl::State::Answering)
            m_voiceDue.start();
        else
            m_voiceDue.stop();
    });
    QObject::connect(&m_voiceDue, &QTimer::timeout, this, [this] {
        if (m_shuttingDown || !m_modem.isOpen())
            return;
        VoiceModem::Quirks quirks;
        QString unknown;
        VoiceModem::applyQuirks(m_config.voiceQuirks, &quirks, &unknown);
        m_voice.start(m_config.voiceFormat.isEmpty() ? -1 : m_config.voiceFormat.toInt(), quirks);
    });
    // A blocked call answered with a tone or an announcement; hung up on when the modem cannot.
    QObject::connect(&m_blockedVoice, &BlockedCallVoice::eventLine, &m_state,
                     toEvents(Kind::Modem));
    QObject::connect(&m_blockedVoice, &BlockedCallVoice::failed, &m_calls,
                     &CallPipeline::voiceFailed);
    m_calls.setVoiceLine([this](ScreeningOptions::Treatment treatment) {
        return m_blockedVoice.answer(treatment == ScreeningOptions::Fax
                                         ? BlockedCallVoice::Kind::Fax
                                         : BlockedCallVoice::Kind::Announce);
    });
    QObject::connect(&m_modem, &ModemControl::status, &m_state,
                     [this](const QString& text) { m_state.setField(MonitorState::Status, text); });
    QObject::connect(&m_modem, &ModemControl::recordChanged, &m_state, &MonitorState::showCaller);
    QObject::connect(&m_modem, &ModemControl::rang, &m_state, [this](int count) {
        m_calls.ring();
        emit rang(count, m_modem.device());
        answerIfDue(count);
    });
    QObject::connect(&m_machine, &AnsweringMachine::eventLine, &m_state, toEvents(Kind::Call));
    // A message has its row from its first moment: a recording cut short is found at the next
    // start.
    QObject::connect(&m_machine, &AnsweringMachine::messageStarted, this,
                     [this](const QString& callId, const QString& file) {
                         m_calls.history().addMessage(callId, file, 0);
                     });
    QObject::connect(&m_machine, &AnsweringMachine::messageDropped, this,
                     [this](const QString& file) { m_calls.history().removeMessage(file); });
    QObject::connect(&m_machine, &AnsweringMachine::messageLeft, this,
                     [this](const QString& callId, const QString& file, int seconds) {
                         m_calls.history().addMessage(callId, file, seconds);
                         m_events.append(MessageFolder::keepUnder(
                             m_calls.history(), messagesFolder(), m_config.messagesLimitMb));
                         emit newMessage(QStringLiteral("New message from %1 (%2:%3)")
                                             .arg(m_machine.caller())
                                             .arg(seconds / 60)
                                             .arg(seconds % 60, 2, 10, QChar(u'0')),
                                         file);
                     });
    // A caller nobody knows is asked for a key, by the answering machine.
    m_calls.setCheckLine([this] { return m_machine.whyNoCheck(); });
    QObject::connect(&m_calls, &CallPipeline::checkDue, this, [this](const CallRecord& call) {
        m_machine.check(call.id, call.caller(), call.digits());
    });
    QObject::connect(&m_machine, &AnsweringMachine::checked, this,
                     [this](const QString& callId, bool passed) {
                         m_calls.checkDone(callId, passed, m_config.checkKey);
                     });
    QObject::connect(&m_calls, &CallPipeline::callHandled, this, [this](const CallRecord& call) {
        if (call.blocked || call.checking || !call.origin.isEmpty())
            return;
        m_letThrough = call;
        m_letThroughAt.start();
    });
    QObject::connect(&m_modem, &ModemControl::recordComplete, &m_state,
                     [this](const CallerId& record) {
                         m_calls.take(IncomingCall::fromModem(record, m_modem.device()));
                     });

    QObject::connect(&m_modem, &ModemControl::beep, &m_state, [this] { m_window.beep(); });
    QObject::connect(&m_modem, &ModemControl::notAnswering, this,
                     [this] { m_window.modemNotAnswering(m_modem.device()); });
    QObject::connect(&m_modemChoice, &ModemChoice::settled, this, &Monitor::modemSettled);
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

    m_calls.setOptions([this] { return m_state.callOptions(m_config.matchNumberOnly); });
    QObject::connect(&m_calls, &CallPipeline::callerShown, &m_state, &MonitorState::showCaller);
    QObject::connect(&m_calls, &CallPipeline::letThrough, this, [this] {
        if (m_state.box(Box::PlaySound))
            m_window.playChime();
    });
    QObject::connect(&m_calls, &CallPipeline::callHandled, this, &Monitor::callHandled);
    QObject::connect(&m_calls, &CallPipeline::missedCall, this,
                     [this](const QString& name) { m_window.missedCall(name); });
    QObject::connect(&m_box, &FritzBoxMonitor::eventLine, this, toEvents(Kind::Modem));
    QObject::connect(&m_box, &FritzBoxMonitor::ringing, this,
                     [this](const QString& id, const QDateTime& when, const QString& caller,
                            const QString&, const QString& line) {
                         m_calls.take(IncomingCall::fromFritzBox(id, when, caller, line,
                                                                 m_box.address(), numberPlan()));
                     });
    QObject::connect(&m_box, &FritzBoxMonitor::answered, &m_calls, &CallPipeline::answered);
    QObject::connect(&m_box, &FritzBoxMonitor::ended, &m_calls, &CallPipeline::ended);
    QObject::connect(&m_calls, &CallPipeline::lineEvent, this, &Monitor::lineEvent);
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

void Monitor::load()
{
    loadSettings();
    settleLogDirectory();
    ::removeLeftovers(m_logDirectory);
    checkAddressBook();
    // The network does not wait for the modem search, nor for a box that search may show.
    m_household.start();
}

void Monitor::activate()
{
    m_calls.openHistory();
    m_events.append(MessageFolder::tidy(m_calls.history(), messagesFolder()));
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
    if (!std::exchange(m_activating, false) || m_shuttingDown)
        return;
    m_state.setBoxEnabled(Box::ModemEnabled, true);
    if (!m_state.box(Box::ModemEnabled)) {
        m_modemChoice.manualMode();
        showWhereCallsComeFrom();
    }
    emit activated();
}

void Monitor::finishActivation()
{
    // Screening follows the setup program's saves (and hand edits) without a restart.
    m_settingsWatcher = std::make_unique<SettingsWatcher>(MonitorConfig::reReadWhileRunning() +
                                                          MonitorConfig::readAtStartOnly());
    QObject::connect(m_settingsWatcher.get(), &SettingsWatcher::changed, this,
                     &Monitor::reReadSetting);
    m_modem.setPollInterval(m_pollInterval);
    // Once the number plan is known: a typo in a list is told now, not at the next call.
    m_calls.screening().watchLists();
    prepareAnnouncement();
}

void Monitor::answerIfDue(int count)
{
    // From its turn on, each ring may answer: a ring that came while the modem was still asked
    // what voice it has leaves the call to the next.
    if (m_config.answerAfter <= 0 || count < m_config.answerAfter || m_shuttingDown ||
        m_calls.ringingCallBlocked() || m_blockedVoice.playing() || m_machine.busy())
        return;
    // The call these rings belong to, when its caller ID came (between the first two rings).
    const bool known = m_letThroughAt.isValid() && m_letThroughAt.elapsed() < 6000 * count;
    const CallRecord call = known ? m_letThrough : CallRecord();
    m_machine.answer(call.id, call.caller(), call.digits());
}

QString Monitor::messagesFolder() const
{
    return AppPaths::dataHome() + QStringLiteral("/ringdesk/messages");
}

void Monitor::prepareAnnouncement()
{
    QString language = QLocale::system().name().section(u'_', 0, 0);
    if (language.size() != 2)
        language = QStringLiteral("en");
    const QString folder = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    if (m_config.answerAfter > 0 && m_greetingFrom != m_config.voiceGreeting) {
        m_greetingFrom = m_config.voiceGreeting;
        m_machine.setGreeting(m_config.voiceGreeting, folder, language);
    }
    const QString checkFrom = m_config.voiceCheckGreeting + u'|' + m_config.checkKey;
    if (m_calls.screening().options().checkUnknown && m_checkGreetingFrom != checkFrom) {
        m_checkGreetingFrom = checkFrom;
        m_machine.setCheckGreeting(m_config.voiceCheckGreeting, folder, language);
    }
    if (m_calls.screening().options().treatment != ScreeningOptions::Announce ||
        m_announcementFrom == m_config.voiceAnnouncement)
        return;
    m_announcementFrom = m_config.voiceAnnouncement;
    m_blockedVoice.setAnnouncement(m_config.voiceAnnouncement, folder, language);
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
    m_modemChoice.setModemEnabled(on);
    showWhereCallsComeFrom();
}

void Monitor::findModem()
{
    m_modemChoice.findModem();
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

void Monitor::loadSettings()
{
    m_config = MonitorConfig::read();
    m_events.append(m_config.problems);
    m_modem.settings() = m_config.modem;
    m_modem.setCheckInterval(m_config.checkIntervalMs);
    m_pollInterval = m_config.pollInterval;
    m_country = m_config.country;
    setAreaCode(m_config.areaCode);
    m_calls.screening().setOptions(m_config.screening);
    m_machine.setOptions(
        {m_config.silenceSeconds, m_config.maxSeconds, messagesFolder(), m_config.checkKey});
    m_config.showIn(m_state);
    m_modemChoice.allow(m_config.findModemAllowed, m_config.useAddressBook);
}

void Monitor::reReadSetting(const SettingEntry& entry)
{
    // A password hash or a broker's password is not for the event list.
    const QString changed =
        entry.key.contains(QLatin1String("Password"))
            ? QStringLiteral("[Setting %1/%2 changed").arg(entry.section, entry.key)
            : QStringLiteral("[Setting %1/%2 is now \"%3\"")
                  .arg(entry.section, entry.key, entry.read());
    if (MonitorConfig::readAtStartOnly().contains(&entry)) {
        m_events.append(changed + QStringLiteral(": it takes effect when ringdesk starts again]"));
        return;
    }
    m_events.append(changed + u']');
    if (&entry == &Settings::MatchNumberOnly) {
        m_config.matchNumberOnly = entry.isOn();
        return;
    }
    QStringList problems;
    if (&entry == &Settings::VoiceAnnouncement) {
        QString problem;
        m_config.voiceAnnouncement = entry.text(&problem).trimmed();
        if (!problem.isEmpty())
            problems << u'[' + problem + u']';
    } else {
        m_calls.screening().setOptions(MonitorConfig::readScreening(numberPlan(), &problems));
    }
    m_events.append(problems);
    prepareAnnouncement();
}

void Monitor::settleLogDirectory()
{
    QStringList lines;
    m_logDirectory = settleLogFolder(m_config.logDirectory, &lines);
    m_events.append(lines);
    m_calls.setLogFolder(m_logDirectory);
}

void Monitor::checkAddressBook()
{
    QString problem;
    m_addressBookAvailable = addressBookProbe(&problem);
    m_modemChoice.setAddressBookUsable(m_addressBookAvailable);
    if (m_addressBookAvailable) {
        m_events.append(m_addressBook.chooseSource());
        m_calls.setAddressBookUsable(true);
        // The index is read meanwhile, so the first call finds it ready.
        m_addressBook.warmUp();
        return;
    }
    m_calls.setAddressBookUsable(false);
    if (!problem.isEmpty())
        m_events.append(QStringLiteral("[Address book not available: %1]").arg(problem));
    m_state.withoutAddressBook();
}

QList<SettingsStore::Entry> Monitor::settingsToSave() const
{
    MonitorConfig::Saved saved = MonitorConfig::savedFrom(m_state);
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

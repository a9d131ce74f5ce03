#include "monitor/MonitorConfig.h"

#include "common/Conversions.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "numbers/NumberPlan.h"

namespace {

using Box = MonitorState::Box;

// The boxes that are stored, and where the settings keep each.
constexpr std::pair<Box, bool MonitorConfig::Boxes::*> storedBoxes[] = {
    {Box::SearchContacts, &MonitorConfig::Boxes::searchContacts},
    {Box::CreateContact, &MonitorConfig::Boxes::createContact},
    {Box::MaximizeOnRing, &MonitorConfig::Boxes::maximizeOnRing},
    {Box::CreateJournal, &MonitorConfig::Boxes::createJournal},
    {Box::MinimizeOnStart, &MonitorConfig::Boxes::minimizeOnStart},
    {Box::UseTray, &MonitorConfig::Boxes::useTray},
    {Box::PlaySound, &MonitorConfig::Boxes::playSound},
};

// Reads one value of `entry` with `value`, a reader of the table's rows; a stored text that
// cannot be used is said in `problems`.
template <typename Read> auto readInto(QStringList* problems, const SettingEntry& entry, Read value)
{
    QString problem;
    const auto result = (entry.*value)(&problem);
    if (!problem.isEmpty())
        problems->append(u'[' + problem + u']');
    return result;
}

} // namespace

ScreeningOptions MonitorConfig::readScreening(const NumberPlan& plan, QStringList* problems)
{
    using namespace Settings;
    ScreeningOptions options;
    options.mode = ScreeningOptions::Mode(readInto(problems, ScreeningMode, &SettingEntry::whole));
    options.blockWithheld = readInto(problems, ScreeningWithheld, &SettingEntry::whole) == 1;
    options.hangUpDelay = readInto(problems, ScreeningHangupDelay, &SettingEntry::whole);
    const QString action = readInto(problems, ScreeningAction, &SettingEntry::choice);
    options.treatment = action == u"silence"    ? ScreeningOptions::Silence
                        : action == u"announce" ? ScreeningOptions::Announce
                        : action == u"fax"      ? ScreeningOptions::Fax
                                                : ScreeningOptions::HangUp;
    options.checkUnknown = readInto(problems, ScreeningUnknown, &SettingEntry::choice) == u"check";
    options.blockMarkers = readInto(problems, ScreeningBlockMarkers, &SettingEntry::isOn);
    options.blockInvalid = readInto(problems, ScreeningBlockInvalid, &SettingEntry::isOn);
    options.blockNeighbours = readInto(problems, ScreeningBlockNeighbours, &SettingEntry::isOn);
    options.ownNumber = readInto(problems, ScreeningOwnNumber, &SettingEntry::text);
    if (options.blockNeighbours && plan.e164(options.ownNumber).isEmpty()) {
        problems->append(QStringLiteral("[Setting Screening/OwnNumber holds \"%1\", not a phone "
                                        "number; neighbours are not blocked]")
                             .arg(options.ownNumber));
        options.blockNeighbours = false;
    }
    options.greylistMinutes = readInto(problems, ScreeningGreylist, &SettingEntry::whole);
    quietHours(readInto(problems, ScreeningQuietHours, &SettingEntry::text), &options.quietFrom,
               &options.quietTo);
    return options;
}

MonitorConfig MonitorConfig::read()
{
    using namespace Settings;
    MonitorConfig config;
    QStringList* problems = &config.problems;
    if (const QString problem = SettingsStore(Application).problem(); !problem.isEmpty())
        problems->append(u'[' + problem + u']');

    QString portProblem;
    config.modem.port = ComPort.whole(&portProblem);
    if (!portProblem.isEmpty()) // searched for, and the stored text left alone unless found
        config.standIns.append({&ComPort, QStringLiteral("0")});
    // A value that cannot be used is said, and the stored text stays unless the user changes it.
    auto readText = [&](const SettingEntry& entry) {
        const qsizetype before = problems->size();
        const QString value = readInto(problems, entry, &SettingEntry::text);
        if (problems->size() > before)
            config.standIns.append({&entry, value});
        return value;
    };
    config.modem.replyTimeout = readText(ModemResponseTimeout);
    config.modem.speed = readText(BaudRate);
    config.pollInterval = readText(PollInterval);
    config.checkIntervalMs = readInto(problems, ModemCheckInterval, &SettingEntry::whole) * 1000;
    config.modem.callerIdCommand = CallIDString.read();
    config.country = Country.read();
    // A code no country has is read as the United States: say so rather than let it be.
    const QString asked = config.country.trimmed().toUpper();
    if (!asked.isEmpty() && asked != u"UK" && NumberPlan(asked).country() != asked)
        problems->append(QStringLiteral("[Setting Setup/Country holds \"%1\", which is no "
                                        "country code; numbers are read as in the United "
                                        "States (US)]")
                             .arg(config.country));
    config.areaCode = AreaCode.read();
    config.screening = readScreening(NumberPlan(config.country, config.areaCode), problems);

    // Nothing this system writes holds a bad value; the setting keeps to its default, and the
    // stored text stays unless the user changes the setting.
    auto truth = [&config, problems](const SettingEntry& entry) {
        QString problem;
        const bool on = entry.isOn(&problem);
        if (!problem.isEmpty()) {
            problems->append(u'[' + problem + u']');
            config.standIns.append({&entry, entry.defaultValue});
        }
        return on;
    };
    config.boxes.searchContacts = truth(AutoSearchContact);
    config.boxes.createContact = truth(AutoCreateContact);
    config.boxes.maximizeOnRing = truth(Maximize);
    config.boxes.createJournal = truth(AutoCreateJournal);
    config.boxes.minimizeOnStart = truth(Minimize);
    config.boxes.useTray = truth(SystemTray);
    config.boxes.playSound = truth(PlayWavFile);
    config.showEvents = truth(Event);
    config.showCalls = truth(Log);
    config.findModemAllowed = truth(ModemFindModem);
    config.modemEnabled = truth(SetupFindModem);
    config.matchNumberOnly = MatchNumberOnly.isOn();
    config.useAddressBook = UseAddressBook.isOn();
    config.logDirectory = LogDirectory.read();
    config.fritzBox = FritzBoxAddress.read().trimmed();
    config.voiceFormat = readText(VoiceFormat).trimmed();
    config.voiceQuirks = readText(VoiceQuirks);
    config.voiceAnnouncement = readText(VoiceAnnouncement).trimmed();
    config.voiceGreeting = readText(VoiceGreeting).trimmed();
    config.voiceCheckGreeting = readText(VoiceCheckGreeting).trimmed();
    config.checkKey = QChar(u'0' + readInto(problems, VoiceCheckDigit, &SettingEntry::whole));
    config.answerAfter = readInto(problems, VoiceAnswerAfter, &SettingEntry::whole);
    config.silenceSeconds = readInto(problems, VoiceSilenceSeconds, &SettingEntry::whole);
    config.maxSeconds = readInto(problems, VoiceMaxSeconds, &SettingEntry::whole);
    config.messagesLimitMb = readInto(problems, VoiceMessagesLimit, &SettingEntry::whole);
    return config;
}

QList<const SettingEntry*> MonitorConfig::reReadWhileRunning()
{
    return Settings::inSection(QStringLiteral("Screening"))
           << &Settings::MatchNumberOnly << &Settings::VoiceAnnouncement;
}

QList<const SettingEntry*> MonitorConfig::readAtStartOnly()
{
    QList<const SettingEntry*> entries;
    for (const char* section : {"FritzBox", "Web", "NCID", "MQTT"})
        entries << Settings::inSection(QLatin1String(section));
    return entries;
}

QList<SettingsStore::Entry> MonitorConfig::entriesToSave(const Saved& saved) const
{
    using namespace Settings;
    auto box = [](bool on) {
        return on ? QStringLiteral("1") : QStringLiteral("0");
    };
    const std::pair<const SettingEntry&, QString> table[] = {
        {SetupFindModem, box(saved.modemEnabled)},
        {AutoSearchContact, box(saved.boxes.searchContacts)},
        {AutoCreateContact, box(saved.boxes.createContact)},
        {Maximize, box(saved.boxes.maximizeOnRing)},
        {AutoCreateJournal, box(saved.boxes.createJournal)},
        {Minimize, box(saved.boxes.minimizeOnStart)},
        {SystemTray, box(saved.boxes.useTray)},
        {PlayWavFile, box(saved.boxes.playSound)},
        {AreaCode, saved.areaCode},
        {ComPort, QString::number(saved.modem.port)},
        {ModemResponseTimeout, saved.modem.replyTimeout},
        {CallIDString, saved.modem.callerIdCommand},
        {BaudRate, saved.modem.speed},
        {Log, Conversions::truthText(saved.showCalls)},
        {Event, Conversions::truthText(!saved.showCalls)},
    };
    QList<SettingsStore::Entry> entries;
    for (const auto& row : table) {
        const bool standsIn = std::any_of(standIns.cbegin(), standIns.cend(), [&](const auto& s) {
            return s.first == &row.first && s.second == row.second;
        });
        if (!standsIn)
            entries.append(row.first.withValue(row.second));
    }
    return entries;
}

void MonitorConfig::showIn(MonitorState& state) const
{
    for (const auto& [box, stored] : storedBoxes)
        state.setBox(box, boxes.*stored);
    // One list is shown; a file that asks for both shows the call list, the one a user who set
    // "Log" last wanted.
    if (showEvents)
        state.setView(MonitorState::View::Events);
    if (showCalls)
        state.setView(MonitorState::View::Calls);
}

MonitorConfig::Saved MonitorConfig::savedFrom(const MonitorState& state)
{
    Saved saved;
    saved.modemEnabled = state.box(Box::ModemEnabled);
    for (const auto& [box, stored] : storedBoxes)
        saved.boxes.*stored = state.box(box);
    saved.showCalls = state.view() == MonitorState::View::Calls;
    return saved;
}

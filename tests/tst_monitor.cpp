#include "TestHome.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"

#include <QSignalSpy>
#include <QTest>
#include <pty.h>
#include <unistd.h>

namespace {

struct RecordingWindow : WindowControl
{
    QStringList calls;
    int chimes = 0;
    int broughtBack = 0;
    void setTrayImage(TrayImage image) override
    {
        calls << (image == TrayImage::Window ? "image window" : "image modem-off");
    }
    void setModemMenuChecks(bool enabled) override
    {
        calls << (enabled ? "menu enable" : "menu disable");
    }
    void playChime() override { ++chimes; }
    void bringBack() override { ++broughtBack; }
};

using Box = MonitorState::Box;

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptyStoreGivesEveryDefault();
    void storedValuesAreLoaded();
    void unreadableValuesFallBackAndAreReported();
    void damagedStoreIsReported();
    void logFolderIsAlwaysAbsolute();
    void unloadWritesTheTableInOrder();
    void withoutAddressBookItsFeaturesGoOff();
    void searchInContactRule_data();
    void searchInContactRule();
    void switchOnAndManualMode();
    void findModemLockedBySetup();
    void chimeAndRingAsTheBoxesSay();
    void callOptionsFollowTheBoxesAndSettings();
    void screeningFollowsSavedSettings();
    void leftoversOfAKilledRewriteGoAtStart();
    void callListAfterARestart();

private:
    // How many modem searches began.
    int searches() const
    {
        return m_monitor->events().lines().count("[Initializing Ringwatch...]");
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<Monitor> m_monitor;
};

void TestMonitor::init()
{
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<RecordingWindow>();
    m_monitor = std::make_unique<Monitor>(*m_window);
    m_monitor->addressBookProbe = [](QString*) {
        return true;
    };
}

void TestMonitor::cleanup()
{
    m_monitor.reset();
    m_window.reset();
    m_home.reset();
}

void TestMonitor::emptyStoreGivesEveryDefault()
{
    Monitor& m = *m_monitor;
    m.loadSettings();
    m.settleLogDirectory();
    m.checkAddressBook();
    const MonitorState& s = m.state();
    QCOMPARE(m.modem().settings().port, 0);
    QCOMPARE(m.modem().settings().replyTimeout, "3000");
    QCOMPARE(m.modem().settings().speed, "9600");
    QCOMPARE(m.pollInterval(), "100");
    QCOMPARE(m.modem().settings().callerIdCommand, "");
    QCOMPARE(m.areaCode(), "");
    const bool expected[] = {false, true, true, true, true, false, true, false};
    for (int box = Box::SearchContacts; box < MonitorState::BoxCount; ++box)
        QCOMPARE(s.box(Box(box)), expected[box]);
    QVERIFY(s.boxEnabled(Box::CreateContact) && s.boxEnabled(Box::CreateJournal));
    QVERIFY(s.view() == MonitorState::View::Events);
    QVERIFY(s.controlEnabled(MonitorState::FindModem));
    QCOMPARE(m.logDirectory(), m_home->path() + "/data/ringdesk/");
    QVERIFY(m.addressBookAvailable());
    // Nothing to complain of: the one line says where contacts are looked up.
    QCOMPARE(m.events().lines().size(), 1);
    QVERIFY2(m.events().lines().first().contains("[Contacts: the folder " + m_home->path()),
             qPrintable(m.events().lines().first()));
}

void TestMonitor::storedValuesAreLoaded()
{
    saveSetting("ZodoDE", "Modem", "ComPort", "2");
    saveSetting("ZodoDE", "Modem", "ModemResponseTimeOut", "1500");
    saveSetting("ZodoDE", "Setup", "Maximize", "0");
    saveSetting("ZodoDE", "Setup", "PlayWavFile", "1");
    saveSetting("ZodoDE", "Setup", "Log", "true");
    saveSetting("ZodoDE", "Modem", "FindModem", "False");
    saveSetting("ZodoDE", "Setup", "LogDirectory", "/var/tmp/calls-");
    m_monitor->loadSettings();
    m_monitor->settleLogDirectory();
    const MonitorState& s = m_monitor->state();
    QCOMPARE(m_monitor->modem().settings().port, 2);
    QCOMPARE(m_monitor->modem().settings().replyTimeout, "1500");
    QCOMPARE(s.box(Box::MaximizeOnRing), false);
    QCOMPARE(s.box(Box::PlaySound), true);
    QVERIFY(s.view() == MonitorState::View::Calls);
    QVERIFY(!s.controlEnabled(MonitorState::FindModem));
    QCOMPARE(m_monitor->logDirectory(), "/var/tmp/calls-");
}

void TestMonitor::unreadableValuesFallBackAndAreReported()
{
    saveSetting("ZodoDE", "Setup", "Maximize", "yes please");
    saveSetting("ZodoDE", "Setup", "Minimize", "2");
    saveSetting("ZodoDE", "Setup", "Event", "maybe");
    saveSetting("ZodoDE", "Setup", "Country", "XX");
    saveSetting("ZodoDE", "Modem", "BaudRate", "fast");
    saveSetting("ZodoDE", "Modem", "PollInterval", "-5");
    saveSetting("ZodoDE", "Modem", "ModemResponseTimeOut", "0");
    saveSetting("ZodoDE", "Screening", "QuietHours", "25:00-07:00");
    m_monitor->loadSettings();
    const MonitorState& s = m_monitor->state();
    QCOMPARE(s.box(Box::MaximizeOnRing), true);
    QCOMPARE(s.box(Box::MinimizeOnStart), false);
    QVERIFY(s.view() == MonitorState::View::Events);
    QCOMPARE(m_monitor->events().lines(),
             QStringList({"[Setting Modem/ModemResponseTimeout holds \"0\", not a number of "
                          "milliseconds from 1; using 3000]",
                          "[Setting Modem/BaudRate holds \"fast\", not a whole number above 0; "
                          "using 9600]",
                          "[Setting Modem/PollInterval holds \"-5\", not a whole number above 0; "
                          "using 100]",
                          "[Setting Setup/Country holds \"XX\", which is no country code; numbers "
                          "are read as in the United States (US)]",
                          "[Setting Screening/QuietHours holds \"25:00-07:00\", not HH:MM-HH:MM "
                          "with two different times; not used]",
                          "[Setting Setup/Maximize holds \"yes please\", not 0 or 1; using 1]",
                          "[Setting Setup/Minimize holds \"2\", not 0 or 1; using 0]",
                          "[Setting Setup/Event holds \"maybe\", not True or False; using True]"}));

    // The stand-ins are not written over what the user stored, unless the user changed them.
    m_monitor->state().setBox(Box::MinimizeOnStart, true);
    m_monitor->saveSettings();
    QCOMPARE(Settings::Maximize.read(), "yes please");
    QCOMPARE(Settings::Event.read(), "maybe");
    QCOMPARE(Settings::Minimize.read(), "1");
    QCOMPARE(Settings::BaudRate.read(), "fast");
    QCOMPARE(Settings::ModemResponseTimeout.read(), "0");
}

// One stray line costs that line only: the entries around it are loaded, and the unload step
// writes the user's values back, not defaults.
void TestMonitor::damagedStoreIsReported()
{
    QDir().mkpath(m_home->path() + "/config");
    QFile file(SettingsStore::pathFor("ZodoDE"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Modem]\nComPort=3\nmy modem is the USR one\n[Setup]\nMaximize=0\nAreaCode=613\n");
    file.close();
    m_monitor->loadSettings();
    const MonitorState& s = m_monitor->state();
    QCOMPARE(s.box(Box::MaximizeOnRing), false);
    QCOMPARE(m_monitor->modem().settings().port, 3);
    QVERIFY(m_monitor->events().lines().first().startsWith("[Settings file "));
    QVERIFY(
        m_monitor->events().lines().first().contains(": line 3 (it has no \"=\") cannot be read"));
    m_monitor->saveSettings();
    QCOMPARE(Settings::ComPort.read(), "3");
    QCOMPARE(Settings::AreaCode.read(), "613");
    QCOMPARE(Settings::Maximize.read(), "0");
}

// Log files never land in whatever folder the program was started from.
void TestMonitor::logFolderIsAlwaysAbsolute()
{
    saveSetting("ZodoDE", "Setup", "LogDirectory", "logs/");
    m_monitor->loadSettings();
    m_monitor->settleLogDirectory();
    QCOMPARE(m_monitor->logDirectory(), m_home->dataDir());
    QCOMPARE(m_monitor->events().lines().last(),
             "[Setting Setup/LogDirectory holds \"logs/\", not an "
             "absolute folder; using the data folder]");

    // The data folder cannot be made: a file stands where it would go.
    saveSetting("ZodoDE", "Setup", "LogDirectory", "");
    QFile blocker(m_home->path() + "/blocked");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8());
    m_monitor->loadSettings();
    m_monitor->settleLogDirectory();
    QCOMPARE(m_monitor->logDirectory(), "");
    QCOMPARE(m_monitor->events().lines().last(),
             "[Couldn't create the log folder " + blocker.fileName() +
                 "/ringdesk; calls are not written to a log file]");
    QVERIFY(!m_monitor->calls().logFile().appendRecord("x"));
}

void TestMonitor::unloadWritesTheTableInOrder()
{
    MonitorState& s = m_monitor->state();
    m_monitor->setModemEnabled(true);
    s.setBox(Box::CreateContact, true);
    m_monitor->setCountry("US");
    m_monitor->setAreaCode("613");
    m_monitor->modem().settings().port = 2;
    m_monitor->modem().settings().replyTimeout = "2500";
    m_monitor->modem().settings().callerIdCommand = "AT+VCID=1";
    m_monitor->modem().settings().speed = "56000";
    s.setView(MonitorState::View::Calls);
    QStringList written;
    for (const SettingsStore::Entry& entry : m_monitor->settingsToSave())
        written << entry.section + '/' + entry.key + '=' + entry.value;
    QCOMPARE(written,
             QStringList({"Setup/FindModem=1", "Setup/AutoSearchContact=0",
                          "Setup/AutoCreateContact=1", "Setup/Maximize=0",
                          "Setup/AutoCreateJournal=0", "Setup/Minimize=0", "Setup/SystemTray=0",
                          "Setup/PlayWavFile=0", "Setup/AreaCode=613", "Modem/ComPort=2",
                          "Modem/ModemResponseTimeOut=2500", "Modem/CallIDString=AT+VCID=1",
                          "Modem/BaudRate=56000", "Setup/Log=True", "Setup/Event=False"}));

    // The real store then holds them, and nothing that only config writes.
    m_monitor->saveSettings();
    QCOMPARE(readSetting("ZodoDE", "Modem", "ModemResponseTimeout", ""), "2500");
    QCOMPARE(readSetting("ZodoDE", "Setup", "Log", ""), "True");
    QCOMPARE(readSetting("ZodoDE", "Modem", "PollInterval", "absent"), "absent");
    QCOMPARE(readSetting("ZodoDE", "Modem", "NumberOfCom", "absent"), "absent");
    QCOMPARE(readSetting("ZodoDE", "Modem", "FindModem", "absent"), "absent");
}

void TestMonitor::withoutAddressBookItsFeaturesGoOff()
{
    m_monitor->addressBookProbe = [](QString* problem) {
        *problem = "no library";
        return false;
    };
    m_monitor->loadSettings();
    m_monitor->checkAddressBook();
    const MonitorState& s = m_monitor->state();
    QVERIFY(!m_monitor->addressBookAvailable());
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal}) {
        QCOMPARE(s.box(box), false);
        QVERIFY(!s.boxEnabled(box));
    }
    QVERIFY(!s.controlEnabled(MonitorState::NewContact));
    QVERIFY(!s.controlEnabled(MonitorState::NewJournal));
    QVERIFY(!s.controlVisible(MonitorState::SearchNumber));
    QVERIFY(!s.controlEnabled(MonitorState::SearchName));
    QCOMPARE(m_monitor->events().lines(),
             QStringList({"[Address book not available: no library]"}));

    // Switching the modem on leaves them off.
    m_monitor->setModemEnabled(true);
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
        QVERIFY(!s.boxEnabled(box));
    m_monitor->saveSettings();
    QCOMPARE(readSetting("ZodoDE", "Setup", "AutoSearchContact", ""), "0");
    QCOMPARE(readSetting("ZodoDE", "Setup", "AutoCreateJournal", ""), "0");
}

void TestMonitor::searchInContactRule_data()
{
    QTest::addColumn<QString>("useAddressBook");
    QTest::addColumn<bool>("enabledAgain");
    QTest::newRow("absent") << QString() << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("word") << "yes" << false;
}

void TestMonitor::searchInContactRule()
{
    QFETCH(QString, useAddressBook);
    if (!useAddressBook.isNull())
        saveSetting("ZodoDE", "Setup", "Outlook", useAddressBook);
    m_monitor->loadSettings(); // read at start, as the program does
    MonitorState& s = m_monitor->state();
    s.setBox(Box::CreateContact, true);
    s.setBox(Box::SearchContacts, true);
    s.setBox(Box::SearchContacts, false);
    QVERIFY(!s.boxEnabled(Box::CreateContact) && !s.boxEnabled(Box::CreateJournal));
    QCOMPARE(s.box(Box::CreateContact), true); // the tick stays
    s.setBox(Box::SearchContacts, true);
    QFETCH(bool, enabledAgain);
    QCOMPARE(s.boxEnabled(Box::CreateContact), enabledAgain);
    QCOMPARE(s.boxEnabled(Box::CreateJournal), enabledAgain);
}

void TestMonitor::switchOnAndManualMode()
{
    MonitorState& s = m_monitor->state();
    m_monitor->loadSettings();
    m_monitor->checkAddressBook();
    // A search over ports with no device behind them: it begins, and finds nothing.
    m_monitor->setModemEnabled(true);
    QCOMPARE(searches(), 1);
    QVERIFY(s.boxEnabled(Box::MaximizeOnRing) && s.boxEnabled(Box::PlaySound) &&
            s.boxEnabled(Box::SearchContacts));
    QCOMPARE(m_window->calls, QStringList({"menu enable", "image window"}));

    // A real line, open on a terminal of the test's own.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    TestHome::mapPort(1, QString::fromLocal8Bit(name));
    QVERIFY(m_monitor->modem().openPort(1, "9600"));
    m_monitor->setModemEnabled(false);
    QVERIFY(!m_monitor->modem().isOpen());
    QCOMPARE(s.field(MonitorState::Status), "Manual Mode");
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::MaximizeOnRing,
                    Box::CreateJournal, Box::PlaySound})
        QVERIFY(!s.boxEnabled(box));
    QCOMPARE(s.box(Box::SearchContacts), true); // manual mode keeps the ticks
    QVERIFY(!s.controlEnabled(MonitorState::FindModem));
    QCOMPARE(m_window->calls.mid(2), QStringList({"menu disable", "image modem-off"}));

    // Setting the state it already has runs nothing.
    m_monitor->setModemEnabled(false);
    QCOMPARE(m_window->calls.size(), 4);
    // An open line is not searched again.
    QVERIFY(m_monitor->modem().openPort(1, "9600"));
    m_monitor->setModemEnabled(true);
    QCOMPARE(searches(), 1);
    m_monitor->modem().close();
    ::close(slave);
    ::close(master);
}

void TestMonitor::findModemLockedBySetup()
{
    saveSetting("ZodoDE", "Modem", "FindModem", "False");
    m_monitor->loadSettings();
    m_monitor->setModemEnabled(true);
    QVERIFY(!m_monitor->state().controlEnabled(MonitorState::FindModem));
}

// The chime for a caller identified and the window on a ring, only as the boxes ask.
void TestMonitor::chimeAndRingAsTheBoxesSay()
{
    const QByteArray call = "RING\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 6135551234\r\n"
                            "NAME = DOE JOHN\r\n\r\n";
    m_monitor->settleLogDirectory();
    QSignalSpy handled(m_monitor.get(), &Monitor::callHandled);
    m_monitor->modem().receive(call);
    QCOMPARE(m_window->chimes, 0);
    QCOMPARE(m_window->broughtBack, 0);
    m_monitor->state().setBox(Box::PlaySound, true);
    m_monitor->state().setBox(Box::MaximizeOnRing, true);
    m_monitor->modem().receive(call);
    QCOMPARE(m_window->chimes, 1);
    QCOMPARE(m_window->broughtBack, 1);
    QCOMPARE(handled.count(), 2);

    // Screening on, the window waits for the caller: a blocked one brings nothing forward, its
    // later rings neither; another caller comes forward once known.
    ScreeningOptions options;
    options.mode = ScreeningOptions::BlockListed;
    options.treatment = ScreeningOptions::Silence;
    options.hangUpDelay = 0;
    m_monitor->calls().screening().setOptions(options);
    QDir().mkpath(m_home->path() + "/config/ringdesk");
    QFile list(m_home->path() + "/config/ringdesk/blocked.txt");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("613-555-1234\n");
    list.close();
    m_monitor->modem().receive(call + "RING\r\n");
    QCOMPARE(m_window->broughtBack, 1);
    QCOMPARE(m_window->chimes, 1);
    m_monitor->modem().receive(QByteArray(call).replace("1234", "9999"));
    QCOMPARE(m_window->broughtBack, 2);
    QCOMPARE(m_window->chimes, 2);
}

// What each call is asked to do comes from the boxes, and "MatchNumberOnly" from the settings,
// which a running monitor follows.
void TestMonitor::callOptionsFollowTheBoxesAndSettings()
{
    m_monitor->loadSettings();
    m_monitor->finishActivation();
    MonitorState& s = m_monitor->state();
    s.setBox(Box::SearchContacts, true);
    s.setBox(Box::CreateContact, true);
    s.setBox(Box::CreateJournal, true);
    CallOptions options = m_monitor->callOptions();
    QVERIFY(options.searchContacts && options.createContact && options.createJournal);
    // One contact per number unless the user stored otherwise.
    QVERIFY(options.matchNumberOnly);
    // A ticked "Create Contact" that may not be used makes no contact.
    s.setBoxEnabled(Box::CreateContact, false);
    QVERIFY(!m_monitor->callOptions().createContact);
    saveSetting("ZodoDE", "Setup", "MatchNumberOnly", "0");
    QTRY_VERIFY(!m_monitor->callOptions().matchNumberOnly);
}

// The setup program saves while the monitor runs: screening follows without a restart, and a
// value the monitor cannot use is said as at start.
void TestMonitor::screeningFollowsSavedSettings()
{
    m_monitor->loadSettings();
    m_monitor->finishActivation();
    const CallScreen& screen = m_monitor->calls().screening();
    QCOMPARE(screen.options().mode, ScreeningOptions::Off);
    QVERIFY(saveSetting("ZodoDE", "Screening", "Mode", "1"));
    QTRY_COMPARE(screen.options().mode, ScreeningOptions::BlockListed);
    QVERIFY(m_monitor->events().lines().contains("[Setting Screening/Mode is now \"1\"]"));
    // Another program's save of several settings at once.
    SettingsStore store("ZodoDE");
    QVERIFY(store.saveAll({{"Screening", "Action", "silence"}, {"Screening", "Mode", "9"}}));
    QTRY_COMPARE(screen.options().treatment, ScreeningOptions::Silence);
    QTRY_COMPARE(screen.options().mode, ScreeningOptions::Off);
    QVERIFY(m_monitor->events().lines().contains(
        "[Setting Screening/Mode holds \"9\", not 0 to 2; using 0]"));
    // Every row of the section is followed, those added later too: the watch is the table's.
    for (const SettingEntry* entry : Settings::inSection("Screening")) {
        const QString changed = "[Setting Screening/" + entry->key + " is now \"7\"]";
        QVERIFY(saveSetting("ZodoDE", "Screening", entry->key, "7"));
        QTRY_VERIFY2(m_monitor->events().lines().contains(changed), qPrintable(changed));
    }
    QVERIFY(Settings::inSection("Screening").size() >= 10);
    // What is read only at start says that it waits for a restart; a password is never shown.
    QVERIFY(saveSetting("ZodoDE", "FritzBox", "Address", "fritz.box"));
    QTRY_VERIFY(m_monitor->events().lines().contains(
        "[Setting FritzBox/Address is now \"fritz.box\": it takes effect when ringdesk starts "
        "again]"));
    QVERIFY(saveSetting("ZodoDE", "MQTT", "Password", "secret"));
    QTRY_VERIFY(m_monitor->events().lines().contains(
        "[Setting MQTT/Password changed: it takes effect when ringdesk starts again]"));
}

// A rewrite killed before its rename leaves a temporary file; the next start removes those of
// ours that are a minute old, and nothing of other programs'.
void TestMonitor::leftoversOfAKilledRewriteGoAtStart()
{
    const QString data = m_home->dataDir();
    const QString contacts = data + "contacts/";
    const QString config = m_home->path() + "/config/";
    const struct
    {
        QString path;
        int ageSeconds;
        bool removed;
    } files[] = {
        {contacts + ".0f6e3a.vcf.Ab12Cd", 120, true},
        {contacts + ".0f6e3a.vcf.Xy34Zw", 5, false},  // being written now
        {contacts + ".notes.txt.Ab12Cd", 120, false}, // another program's
        {contacts + ".0f6e3a.vcf.tmp", 120, false},
        {data + "journal/.1234.ics.Qq11Rr", 120, true},
        {data + ".CallEvnt.txt.a1B2c3", 120, true},
        {data + ".mqtt-outbox.a1B2c3", 3600, true},
        {config + ".zodode.ini.z9Y8x7", 120, true},
        {config + ".other.ini.z9Y8x7", 120, false},
    };
    for (const auto& file : files) {
        QVERIFY(QDir().mkpath(QFileInfo(file.path).path()));
        QFile out(file.path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(out.setFileTime(QDateTime::currentDateTime().addSecs(-file.ageSeconds),
                                QFileDevice::FileModificationTime));
    }
    m_monitor->load();
    for (const auto& file : files)
        QVERIFY2(QFile::exists(file.path) != file.removed, qPrintable(file.path));
}

// The window's call list after a restart is the history's: each call with its block mark, the
// calls of an older log behind them in the file's order.
void TestMonitor::callListAfterARestart()
{
    saveSetting("ZodoDE", "Setup", "FindModem", "0");
    saveSetting("ZodoDE", "Setup", "AreaCode", "613");
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    QDir().mkpath(m_home->dataDir());
    QFile old(m_home->dataDir() + "CallLog.txt");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("\"12/01 09:00 +1 (613) 555-0001 EARLIER CALLER\"\r\n");
    old.close();
    QDir().mkpath(m_home->path() + "/config/ringdesk");
    QFile list(m_home->path() + "/config/ringdesk/blocked.txt");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("613-555-1234\n");
    list.close();
    const QByteArray call = "RING\r\nDATE = 1207\r\nTIME = 1405\r\nNMBR = 6135551234\r\n"
                            "NAME = DOE JOHN\r\n\r\n";
    for (int run = 0; run < 2; ++run) {
        m_monitor = std::make_unique<Monitor>(*m_window);
        m_monitor->addressBookProbe = [](QString*) {
            return false;
        };
        m_monitor->load();
        QSignalSpy activated(m_monitor.get(), &Monitor::activated);
        m_monitor->activate();
        QTRY_COMPARE(activated.count(), 1);
        m_monitor->finishActivation();
        if (run == 0)
            m_monitor->modem().receive(call);
        const QStringList lines{"12/01 09:00 +1 (613) 555-0001 EARLIER CALLER",
                                "12/07 14:05 +1 (613) 555-1234 DOE JOHN"};
        const CallHistory& history = m_monitor->calls().history();
        QStringList inHistory;
        history.forEach([&](const CallRecord& call) { inHistory << call.logLine(); });
        QCOMPARE(inHistory, lines);
        const std::optional<CallRecord> blocked = history.at(1);
        QVERIFY(blocked && blocked->blocked);
        QCOMPARE(blocked->blockRule, "613-555-1234");
        QVERIFY(!history.at(0)->blocked);
        m_monitor->unload();
    }
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"

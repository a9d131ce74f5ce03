#include "TestHome.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "monitor/Monitor.h"
#include "state/WindowControl.h"

#include <QTest>

namespace {

struct RecordingWindow : WindowControl
{
    QStringList calls;
    void SetTrayIconImage(TrayImage image) override
    {
        calls << (image == TrayImage::Window ? "image window" : "image modem-off");
    }
    void SetCallIDMenuChecks(bool enabled) override
    {
        calls << (enabled ? "menu enable" : "menu disable");
    }
};

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
    void leftoversOfAKilledRewriteGoAtStart();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<RecordingWindow> m_window;
    std::unique_ptr<Monitor> m_monitor;
    int m_searches = 0;
    bool m_portOpen = false;
};

void TestMonitor::init()
{
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<RecordingWindow>();
    m_monitor = std::make_unique<Monitor>(*m_window);
    m_monitor->outlookProbe = [](QString*) {
        return true;
    };
    m_searches = 0;
    m_portOpen = false;
    ModemSwitch::Port port;
    port.isOpen = [this] {
        return m_portOpen;
    };
    port.close = [this] {
        m_portOpen = false;
    };
    port.SearchModems = [this] {
        ++m_searches;
    };
    m_monitor->modemSwitch.setPort(port);
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
    m.checkOutlook();
    const MonitorState& s = m.state;
    QCOMPARE(s.ComPort, "0");
    QCOMPARE(s.ModemResponseTimeout, "3000");
    QCOMPARE(s.BaudRate, "9600");
    QCOMPARE(s.PollInterval, "100");
    QCOMPARE(s.CallIDString, "");
    QCOMPARE(s.AreaCode, "");
    const int expected[] = {0, 1, 1, 1, 1, 0, 1, 0};
    for (int box = 2; box <= 8; ++box)
        QCOMPARE(s.check(box), expected[box - 1]);
    QVERIFY(s.checkEnabled(3) && s.checkEnabled(5));
    QVERIFY(s.option(1) && !s.option(2));
    QVERIFY(s.controlEnabled(MonitorState::Command4));
    QCOMPARE(s.LogDirectory, m_home->path() + "/data/ringdesk/");
    QVERIFY(s.OutlookAvailable);
    QVERIFY(s.events().isEmpty());
}

void TestMonitor::storedValuesAreLoaded()
{
    SaveSetting("ZodoDE", "Modem", "ComPort", "2");
    SaveSetting("ZodoDE", "Modem", "ModemResponseTimeOut", "1500");
    SaveSetting("ZodoDE", "Setup", "Maximize", "0");
    SaveSetting("ZodoDE", "Setup", "PlayWavFile", "1");
    SaveSetting("ZodoDE", "Setup", "Log", "true");
    SaveSetting("ZodoDE", "Modem", "FindModem", "False");
    SaveSetting("ZodoDE", "Setup", "LogDirectory", "/var/tmp/calls-");
    m_monitor->loadSettings();
    m_monitor->settleLogDirectory();
    const MonitorState& s = m_monitor->state;
    QCOMPARE(s.ComPort, "2");
    QCOMPARE(s.ModemResponseTimeout, "1500");
    QCOMPARE(s.check(4), 0);
    QCOMPARE(s.check(8), 1);
    QVERIFY(s.option(2));
    QVERIFY(!s.controlEnabled(MonitorState::Command4));
    QCOMPARE(s.LogDirectory, "/var/tmp/calls-");
}

void TestMonitor::unreadableValuesFallBackAndAreReported()
{
    SaveSetting("ZodoDE", "Setup", "Maximize", "yes please");
    SaveSetting("ZodoDE", "Setup", "Minimize", "2");
    SaveSetting("ZodoDE", "Setup", "Event", "maybe");
    m_monitor->loadSettings();
    const MonitorState& s = m_monitor->state;
    QCOMPARE(s.check(4), 1);
    QCOMPARE(s.check(6), 0);
    QVERIFY(s.option(1));
    QCOMPARE(s.events(),
             QStringList({"[Setting Setup/Maximize holds \"yes please\", not 0 or 1; using 1]",
                          "[Setting Setup/Minimize holds \"2\", not 0 or 1; using 0]",
                          "[Setting Setup/Event holds \"maybe\", not True or False; using True]"}));

    // The stand-ins are not written over what the user stored, unless the user changed them.
    m_monitor->state.setCheck(6, 1);
    m_monitor->saveSettings();
    QCOMPARE(Settings::Maximize.read(), "yes please");
    QCOMPARE(Settings::Event.read(), "maybe");
    QCOMPARE(Settings::Minimize.read(), "1");
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
    const MonitorState& s = m_monitor->state;
    QCOMPARE(s.check(4), 0);
    QCOMPARE(s.ComPort, "3");
    QVERIFY(s.events().first().startsWith("[Settings file "));
    QVERIFY(s.events().first().contains(": line 3 (it has no \"=\") cannot be read"));
    m_monitor->saveSettings();
    QCOMPARE(Settings::ComPort.read(), "3");
    QCOMPARE(Settings::AreaCode.read(), "613");
    QCOMPARE(Settings::Maximize.read(), "0");
}

// Log files never land in whatever folder the program was started from.
void TestMonitor::logFolderIsAlwaysAbsolute()
{
    SaveSetting("ZodoDE", "Setup", "LogDirectory", "logs/");
    m_monitor->settleLogDirectory();
    QCOMPARE(m_monitor->state.LogDirectory, m_home->dataDir());
    QCOMPARE(m_monitor->state.events().last(),
             "[Setting Setup/LogDirectory holds \"logs/\", not an "
             "absolute folder; using the data folder]");

    // The data folder cannot be made: a file stands where it would go.
    SaveSetting("ZodoDE", "Setup", "LogDirectory", "");
    QFile blocker(m_home->path() + "/blocked");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8());
    m_monitor->settleLogDirectory();
    QCOMPARE(m_monitor->state.LogDirectory, "");
    QCOMPARE(m_monitor->state.events().last(),
             "[Couldn't create the log folder " + blocker.fileName() +
                 "/ringdesk; calls are not written to a log file]");
    QVERIFY(!m_monitor->logFile.AppendCallLogRecord("x"));
}

void TestMonitor::unloadWritesTheTableInOrder()
{
    MonitorState& s = m_monitor->state;
    s.setCheck(1, 1);
    s.setCheck(3, 1);
    s.AreaCode = "613";
    s.ComPort = "2";
    s.ModemResponseTimeout = "2500";
    s.CallIDString = "AT+VCID=1";
    s.BaudRate = "56000";
    s.setOption(2, true);
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
    QCOMPARE(GetSetting("ZodoDE", "Modem", "ModemResponseTimeout", ""), "2500");
    QCOMPARE(GetSetting("ZodoDE", "Setup", "Log", ""), "True");
    QCOMPARE(GetSetting("ZodoDE", "Modem", "PollInterval", "absent"), "absent");
    QCOMPARE(GetSetting("ZodoDE", "Modem", "NumberOfCom", "absent"), "absent");
    QCOMPARE(GetSetting("ZodoDE", "Modem", "FindModem", "absent"), "absent");
}

void TestMonitor::withoutAddressBookItsFeaturesGoOff()
{
    m_monitor->outlookProbe = [](QString* problem) {
        *problem = "no library";
        return false;
    };
    m_monitor->loadSettings();
    m_monitor->checkOutlook();
    const MonitorState& s = m_monitor->state;
    QVERIFY(!s.OutlookAvailable);
    for (int box : {2, 3, 5}) {
        QCOMPARE(s.check(box), 0);
        QVERIFY(!s.checkEnabled(box));
    }
    QVERIFY(!s.controlEnabled(MonitorState::Command3));
    QVERIFY(!s.controlEnabled(MonitorState::Command8));
    QVERIFY(!s.controlVisible(MonitorState::Picture1));
    QVERIFY(!s.controlEnabled(MonitorState::Picture2));
    QCOMPARE(s.events(), QStringList({"[Address book not available: no library]"}));

    // Switching the modem on leaves them off.
    m_monitor->state.setCheck(1, 1);
    for (int box : {2, 3, 5})
        QVERIFY(!s.checkEnabled(box));
    m_monitor->saveSettings();
    QCOMPARE(GetSetting("ZodoDE", "Setup", "AutoSearchContact", ""), "0");
    QCOMPARE(GetSetting("ZodoDE", "Setup", "AutoCreateJournal", ""), "0");
}

void TestMonitor::searchInContactRule_data()
{
    QTest::addColumn<QString>("outlook");
    QTest::addColumn<bool>("enabledAgain");
    QTest::newRow("absent") << QString() << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("word") << "yes" << false;
}

void TestMonitor::searchInContactRule()
{
    QFETCH(QString, outlook);
    if (!outlook.isNull())
        SaveSetting("ZodoDE", "Setup", "Outlook", outlook);
    MonitorState& s = m_monitor->state;
    s.setCheck(3, 1);
    s.setCheck(2, 1);
    s.setCheck(2, 0);
    QVERIFY(!s.checkEnabled(3) && !s.checkEnabled(5));
    QCOMPARE(s.check(3), 1); // the tick stays
    s.setCheck(2, 1);
    QFETCH(bool, enabledAgain);
    QCOMPARE(s.checkEnabled(3), enabledAgain);
    QCOMPARE(s.checkEnabled(5), enabledAgain);
}

void TestMonitor::switchOnAndManualMode()
{
    MonitorState& s = m_monitor->state;
    m_monitor->loadSettings();
    m_monitor->checkOutlook();
    s.setCheck(1, 1);
    QCOMPARE(m_searches, 1);
    QVERIFY(s.checkEnabled(4) && s.checkEnabled(8) && s.checkEnabled(2));
    QCOMPARE(m_window->calls, QStringList({"menu enable", "image window"}));

    m_portOpen = true;
    s.setCheck(1, 0);
    QVERIFY(!m_portOpen);
    QCOMPARE(s.field(MonitorState::SystemMessage), "Manual Mode");
    for (int box : {2, 3, 4, 5, 8})
        QVERIFY(!s.checkEnabled(box));
    QCOMPARE(s.check(2), 1); // manual mode keeps the ticks
    QVERIFY(!s.controlEnabled(MonitorState::Command4));
    QCOMPARE(m_window->calls.mid(2), QStringList({"menu disable", "image modem-off"}));

    // Setting the state it already has runs nothing.
    s.setCheck(1, 0);
    QCOMPARE(m_window->calls.size(), 4);
    // An open port is not searched again.
    m_portOpen = true;
    s.setCheck(1, 1);
    QCOMPARE(m_searches, 1);
}

void TestMonitor::findModemLockedBySetup()
{
    SaveSetting("ZodoDE", "Modem", "FindModem", "False");
    m_monitor->state.setCheck(1, 1);
    QVERIFY(!m_monitor->state.controlEnabled(MonitorState::Command4));
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

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"

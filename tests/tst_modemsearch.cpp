// The modem search, the switch and the receive side on real pseudo-terminals, against the
// simulated modem.
#include "ModemSim.h"
#include "SteppedTicks.h"
#include "TestHome.h"
#include "common/SettingsStore.h"
#include "devices/PortMap.h"
#include "modem/CommandExchange.h"
#include "modem/ModemControl.h"
#include "modem/ModemReceiver.h"
#include "modem/PortProblem.h"
#include "modem/SerialLine.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"
#include "voice/VoicePlayer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct CountingWindow : WindowControl
{
    int beeps = 0;
    int errors = 0;
    void beep() override { ++beeps; }
    void showModemError(const QStringList& details, bool anyDevice) override
    {
        ++errors;
        problems = details;
        anyDeviceFound = anyDevice;
    }
    QStringList problems;
    bool anyDeviceFound = true;
};

} // namespace

class TestModemSearch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fullSearchFindsTheModemOnPortTwo();
    void settledDeviceIsStored();
    void portsThatDoNotOpenSayWhy_data();
    void portsThatDoNotOpenSayWhy();
    void knownPortIsOnlyChecked();
    void lastRunsLateReplyIsNotTakenForOurs();
    void voiceIsAskedOnceCallerIdIsOn_data();
    void voiceIsAskedOnceCallerIdIsOn();
    void voiceIsPlayedAndTheModemComesBack_data();
    void voiceIsPlayedAndTheModemComesBack();
    void callerIsRecordedUntilTheyHangUp_data();
    void callerIsRecordedUntilTheyHangUp();
    void knownPortWithEmptyCommandFails();
    void excludedPortsAreNeverOpened();
    void excludedKnownPortIsTakenAsFound();
    void noPortsToTry();
    void absentPortsCostNoTimeOut();
    void switchOffDuringSearchStopsIt();
    void secondSearchIsRefused();
    void callAfterSearchIsLogged();
    void unpluggedModemIsReported();
    void hungModemIsNoticedAndSetUpAgain();
    void exchangeEndsOnRepliesOrTimeOut();
    void hangUpAskedWhileGoingOnHookFollows();

private:
    static void mapPort(int port, const QString& device) { TestHome::mapPort(port, device); }
    // Switches the modem on and waits until its search has ended and the switch settled.
    void start()
    {
        QSignalSpy ended(&m_monitor->modem(), &ModemControl::searchEnded);
        m_monitor->setModemEnabled(true);
        QTRY_VERIFY(!ended.isEmpty());
        QCoreApplication::processEvents(); // the settling is queued behind the search's end
    }
    QStringList events() const { return m_monitor->events().lines(); }
    // A voice modem on port 3 with caller ID switched on by AT+VCID=1.
    void startVoice(const ModemSim& modem)
    {
        mapPort(3, modem.device());
        ModemSettings& s = m_monitor->modem().settings();
        s.port = 3;
        s.callerIdCommand = "AT+VCID=1";
        start();
    }
    // The calls logged since the monitor was made, as their log lines.
    QStringList m_calls;
    // The reply time-out from here on ticks only when the test says so.
    SteppedTicks& steppedTimeout()
    {
        auto ticks = std::make_unique<SteppedTicks>(SteppedTicks::Once);
        SteppedTicks& stepped = *ticks;
        m_monitor->modem().setTicks(ModemControl::Timer::ReplyTimeout, std::move(ticks));
        return stepped;
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<CountingWindow> m_window;
    std::unique_ptr<Monitor> m_monitor;
};

void TestModemSearch::init()
{
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<CountingWindow>();
    m_monitor = std::make_unique<Monitor>(*m_window);
    m_calls.clear();
    connect(m_monitor.get(), &Monitor::callHandled, this,
            [this](const CallRecord& call) { m_calls << call.logLine(); });
    m_monitor->modem().settings().replyTimeout = "1000";
    m_monitor->setCountry("US");
    m_monitor->setAreaCode("613");
    m_monitor->settleLogDirectory();
}

void TestModemSearch::cleanup()
{
    PortMap::resetMachinePorts();
    m_monitor.reset();
    m_window.reset();
    m_home.reset();
}

void TestModemSearch::fullSearchFindsTheModemOnPortTwo()
{
    ModemSim modem({"--accept", "AT+VCID=1"});
    mapPort(2, modem.device());
    start();
    const QStringList expected = {
        "[Initializing Ringwatch...]", "[Searching for Modems...]", "[Testing Com 1 at 56000 ]",
        "[Com 1 (/nonexistent/ttyRING): does not exist]", "[Testing Com 1 at 28800 ]",
        "[Testing Com 1 at 9600 ]", "[Testing Com 2 at 56000 ]", "ATZ", "OK",
        "[Found Modem in Com 2 !]", "[Retreiving Modem Information]", "ATI3",
        "Ringsim 56K Voice Modem v1.0", "OK", "ATI6", "Caller ID: SDMF and MDMF",
        "Distinctive ring: no", "OK", "[Testing for Caller ID capabilities...]", "AT#CID=1",
        "ERROR", "AT%CCID=1", "ERROR", "AT+VCID=1", "OK", "[CALLER ID Modem Found in Com 2 !]",
        "[System Ready, Waiting for a RING...]",
        // Then, once caller ID is on, what voice it has.
        "ATI0", "ERROR", "ATI3", "Ringsim 56K Voice Modem v1.0", "OK", "AT+FCLASS=?", "OK",
        "[Modem on " + modem.device() + " has no voice mode]"};
    QTRY_COMPARE(events(), expected);
    const MonitorState& s = m_monitor->state();
    const ModemSettings& found = m_monitor->modem().settings();
    QCOMPARE(found.port, 2);
    QCOMPARE(found.speed, "56000");
    QCOMPARE(found.callerIdCommand, "AT+VCID=1");
    QCOMPARE(s.field(MonitorState::Status), "Active... Waiting for a Ring");
    QVERIFY(m_monitor->modem().isOpen());
    QCOMPARE(m_monitor->modem().device(), modem.device());
    QCOMPARE(m_window->beeps, 1);
    QCOMPARE(m_window->errors, 0);
    QVERIFY(s.boxEnabled(MonitorState::MaximizeOnRing) && s.boxEnabled(MonitorState::PlaySound));
}

void TestModemSearch::portsThatDoNotOpenSayWhy_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("denied");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << false << false << ""
                             << ""
                             << "does not exist";
    QTest::newRow("not in the group") << true << true << "dialout"
                                      << ""
                                      << "permission denied; add your user to the dialout group";
    QTest::newRow("root's only") << true << true << "root"
                                 << ""
                                 << "permission denied";
    QTest::newRow("another program") << true << false << "dialout"
                                     << "minicom"
                                     << "in use by process 1234 (minicom)";
    QTest::newRow("ModemManager")
        << true << false << "dialout"
        << "ModemManager"
        << "in use by ModemManager (process 1234); see \"Real modems\" in the help to keep it "
           "away from this modem";
}

// Permission, another program, a missing device: each port that did not open says why, and
// the error box carries the reasons.
void TestModemSearch::portsThatDoNotOpenSayWhy()
{
    QFETCH(QString, holder);
    PortProblem::Facts facts;
    QFETCH(bool, exists);
    QFETCH(bool, denied);
    facts.exists = exists;
    facts.accessDenied = denied;
    QFETCH(QString, group);
    facts.group = group;
    if (!holder.isEmpty())
        facts.holders = {{1234, holder}};
    QTEST(PortProblem::describe(facts), "reason");

    if (QTest::currentDataTag() != QString("missing"))
        return;
    // The real search: two ports whose devices are not there.
    QVERIFY(saveSetting("ZodoDE", "Modem", "NumberOfCom", "2"));
    start();
    QCOMPARE(m_window->errors, 1);
    QCOMPARE(m_window->problems, QStringList({"Com 1 (/nonexistent/ttyRING): does not exist",
                                              "Com 2 (/nonexistent/ttyRING): does not exist"}));
    // No device at all: no modem is plugged in, which is not a modem without caller ID.
    QVERIFY(!m_window->anyDeviceFound);
    // The simulated modem's own process holds its terminal open: that is another program.
    ModemSim modem;
    const QList<PortProblem::Holder> holders = PortProblem::holdersOf(modem.device());
    QVERIFY(!holders.isEmpty());
    QCOMPARE(holders.first().name, "ringdesk-modemsim");
}

// A port without an entry of its own is the machine's n-th device; the one a search settles on
// is then stored, so later starts check that same modem however devices come and go.
void TestModemSearch::settledDeviceIsStored()
{
    ModemSim modem({"--accept", "AT+VCID=1"});
    mapPort(1, "");
    PortMap::setMachinePorts(QStringList{modem.device()});
    start();
    PortMap::resetMachinePorts();
    QCOMPARE(m_monitor->modem().settings().port, 1);
    QCOMPARE(readSetting("ZodoDE", "Ports", "Com1", ""), modem.device());
    QCOMPARE(readSetting("ZodoDE", "Ports", "Com2", ""), "/nonexistent/ttyRING");

    // A link to the device (as /dev/serial/by-id holds them) opens the device itself, so one
    // device has one lock whatever name it is known by.
    m_monitor->modem().close();
    const QString link = m_home->path() + "/usb-Ringsim_Modem-if00";
    QVERIFY(QFile::link(modem.device(), link));
    mapPort(3, link);
    QVERIFY(m_monitor->modem().openPort(3, "9600"));
    QCOMPARE(m_monitor->modem().device(), link);
    QCOMPARE(m_monitor->modem().openedAs(), QFileInfo(modem.device()).canonicalFilePath());
    m_monitor->modem().close();
}

void TestModemSearch::knownPortIsOnlyChecked()
{
    ModemSim modem({"--accept", "AT#CC1"});
    mapPort(3, modem.device());
    ModemSettings& s = m_monitor->modem().settings();
    s.port = 3;
    s.speed = "9600";
    s.callerIdCommand = "AT#CC1";
    start();
    QCOMPARE(events().mid(0, 10),
             QStringList({"[Initializing Ringwatch...]", "[Testing Com 3 at 9600 ]", "ATZ", "OK",
                          "[Found Modem in Com 3 !]", "[Testing for Caller ID capabilities...]",
                          "AT#CC1", "OK", "[CALLER ID Modem Found in Com 3 !]",
                          "[System Ready, Waiting for a RING...]"}));
    QCOMPARE(s.port, 3);
    QVERIFY(m_monitor->modem().isOpen());
}

// A run stopped with a command under way leaves the modem's echo and reply of it waiting on the
// line; the next run's set-up must not take that reply for its own and lose caller ID.
void TestModemSearch::lastRunsLateReplyIsNotTakenForOurs()
{
    ModemSim modem({"--voice", "none"});
    mapPort(1, modem.device());
    const int fd = ::open(modem.device().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QVERIFY(::write(fd, "AT+VSM=?\r", 9) == 9);
    int waiting = 0;
    QTRY_VERIFY(::ioctl(fd, FIONREAD, &waiting) == 0 && waiting >= 17); // its echo, ERROR
    start();
    ::close(fd);
    // Found at the first speed tried, each reply taken by its own command.
    const QStringList said = events();
    QVERIFY2(!said.contains("[Testing Com 1 at 28800 ]"), qPrintable(said.join('|')));
    QCOMPARE(said.count("[Found Modem in Com 1 !]"), 1);
    QCOMPARE(said.mid(said.indexOf("AT+VCID=1"), 3),
             QStringList({"AT+VCID=1", "OK", "[CALLER ID Modem Found in Com 1 !]"}));
    QVERIFY(m_monitor->modem().isOpen());
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
}

// Each row: the model the simulated modem answers as, the settings, and the line said.
void TestModemSearch::voiceIsAskedOnceCallerIdIsOn_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("format"); // [Voice] Format
    QTest::addColumn<QString>("said");   // after "[Modem on DEVICE"
    QTest::newRow("U.S. Robotics 5637")
        << "usr5637"
        << ""
        << " (U.S. Robotics 5637) has a voice mode: 8-bit linear at 8000 Hz]";
    QTest::newRow("Conexant") << "conexant"
                              << ""
                              << " (Conexant) has a voice mode: 8-bit linear at 8000 Hz]";
    QTest::newRow("a format chosen by hand")
        << "usr5637"
        << "131"
        << " (U.S. Robotics 5637) has a voice mode: µ-law at 8000 Hz]";
    QTest::newRow("a format the modem lacks")
        << "conexant"
        << "7"
        << " has no voice format 7 ([Voice] Format); its voice is not used]";
    QTest::newRow("no voice") << "none"
                              << ""
                              << " has no voice mode]";
}

void TestModemSearch::voiceIsAskedOnceCallerIdIsOn()
{
    QFETCH(QString, model);
    QFETCH(QString, format);
    QFETCH(QString, said);
    saveSetting("ZodoDE", "Voice", "Format", format);
    m_monitor->loadSettings();
    ModemSim modem({"--accept", "AT+VCID=1", "--voice", model});
    mapPort(3, modem.device());
    ModemSettings& s = m_monitor->modem().settings();
    s.port = 3;
    s.callerIdCommand = "AT+VCID=1";
    start();
    QTRY_VERIFY(events().last().startsWith("[Modem on "));
    QCOMPARE(events().last(), "[Modem on " + modem.device() + said);
    // A call comes as before.
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
}

// Audio played on the simulated U.S. Robotics, paced and shielded; however it ends, the modem
// is on-hook, in data mode and has caller ID on again, and the next call is logged.
void TestModemSearch::voiceIsPlayedAndTheModemComesBack_data()
{
    QTest::addColumn<QString>("refused");
    QTest::addColumn<bool>("played");
    QTest::newRow("played whole") << "" << true;
    QTest::newRow("the line refused") << "AT+VLS=1" << false;
    QTest::newRow("the audio refused") << "AT+VTX" << false;
}

void TestModemSearch::voiceIsPlayedAndTheModemComesBack()
{
    QFETCH(QString, refused);
    QFETCH(bool, played);
    const QString out = m_home->path() + "/played.raw";
    QStringList options{"--accept", "AT+VCID=1", "--voice", "usr5637", "--audio-out", out};
    if (!refused.isEmpty())
        options << "--refuse" << refused;
    ModemSim modem(options);
    startVoice(modem);
    QTRY_VERIFY(m_monitor->voice().voice().has_value());
    QByteArray audio;
    for (int n = 0; n < 2400; ++n) // 0.3 s of 985 Hz, with 0x10 samples among them
        audio += char(128 + int(120 * std::sin(2 * M_PI * 985.2 * n / 8000)));
    QVERIFY(audio.count('\x10') > 0);
    VoicePlayer player(m_monitor->modem());
    QSignalSpy finished(&player, &VoicePlayer::finished);
    const qsizetype callerIdOn = modem.output().count("caller-id on");
    player.play(*m_monitor->voice().voice(), audio, "AT+VCID=1");
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QVERIFY2(finished.at(0).at(0).toBool() == played, qPrintable(events().join('\n')));
    QTRY_VERIFY(modem.output().count("caller-id on") > callerIdOn);
    const QByteArray said = modem.output();
    QVERIFY(said.lastIndexOf("hook on") >= said.lastIndexOf("hook off")); // on-hook, or never off
    if (played) {
        QVERIFY2(said.contains("underruns 0 overruns 0"), said.constData());
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(audio));
    }
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
}

// The far end recorded with AT+VRX on each model: its audio unshielded, its digit once, its
// hang-up ending the recording; then the modem is back for the next call.
void TestModemSearch::callerIsRecordedUntilTheyHangUp_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("U.S. Robotics") << "usr5637";
    QTest::newRow("Conexant") << "conexant";
}

void TestModemSearch::callerIsRecordedUntilTheyHangUp()
{
    QFETCH(QString, model);
    ModemSim modem({"--accept", "AT+VCID=1", "--voice", model, "--far-end",
                    "tone:985.2:500;digit:5;silence:300;hangup"});
    startVoice(modem);
    QTRY_VERIFY(m_monitor->voice().voice().has_value());
    VoicePlayer recorder(m_monitor->modem());
    QSignalSpy finished(&recorder, &VoicePlayer::finished);
    QList<VoiceEvents::Event> heard;
    connect(&recorder, &VoicePlayer::heard, this,
            [&heard](VoiceEvents::Event event) { heard << event; });
    const qsizetype callerIdOn = modem.output().count("caller-id on");
    recorder.record(*m_monitor->voice().voice(), 10000, "AT+VCID=1");
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QVERIFY2(finished.at(0).at(0).toBool(), qPrintable(events().join('\n')));
    QCOMPARE(heard.size(), 2);
    QCOMPARE(heard.at(0).kind, VoiceEvents::Kind::Digit);
    QCOMPARE(heard.at(0).digit, '5');
    QCOMPARE(heard.at(1).kind, VoiceEvents::Kind::LoopBreak);
    // The far end's tone, as V.253 8-bit linear: each sample once, 0x10s among them.
    QByteArray tone;
    for (int n = 0; n < 4000; ++n)
        tone += char(128 + int(120 * std::sin(2 * M_PI * 985.2 * n / 8000)));
    QVERIFY(tone.count('\x10') > 0);
    // The caller speaks from the moment the line is taken; the recording starts a moment later.
    const QByteArray& recorded = recorder.recorded();
    const qsizetype lead = tone.indexOf(recorded.left(800));
    QVERIFY2(lead >= 0 && lead < 400, qPrintable(QString::number(lead)));
    QVERIFY(recorded.startsWith(tone.mid(lead)));
    // Up to the hang-up and the little the modem sent before it took the end.
    const qsizetype upToHangUp = 6400 - lead;
    QVERIFY2(recorded.size() >= upToHangUp && recorded.size() < upToHangUp + 800,
             qPrintable(QString::number(recorded.size())));
    QVERIFY(recorded.mid(4000 - lead, 2400).count('\x80') == 2400);
    QTRY_VERIFY(modem.output().count("caller-id on") > callerIdOn);
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
}

void TestModemSearch::knownPortWithEmptyCommandFails()
{
    ModemSim modem;
    mapPort(1, modem.device());
    ModemSettings& s = m_monitor->modem().settings();
    s.replyTimeout = "200";
    s.port = 1;
    s.callerIdCommand = "";
    start();
    QCOMPARE(s.port, 0);
    QCOMPARE(events().mid(events().size() - 2),
             QStringList({"[Testing for Caller ID capabilities...]",
                          "[ERROR... NO CALLER ID FEATURE FOUND]"}));
    QCOMPARE(m_monitor->state().field(MonitorState::Status), "ERROR, NO CALLER ID");
    QCOMPARE(m_window->errors, 1);
    QVERIFY(m_window->anyDeviceFound);
    QCOMPARE(m_window->beeps, 2);
    QVERIFY(!m_monitor->modem().isOpen());
    QVERIFY(m_monitor->state().box(MonitorState::ModemEnabled)); // the switch stays on
}

void TestModemSearch::excludedPortsAreNeverOpened()
{
    ModemSim excluded;
    ModemSim wanted({"--accept", "AT*ID1"});
    mapPort(2, excluded.device());
    mapPort(3, wanted.device());
    QVERIFY(saveSetting("ZodoDE", "Modem", "Com2", "1"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "Com1", "0"));
    start();
    QVERIFY(!events().join('\n').contains("Com 2"));
    QVERIFY(events().contains("[CALLER ID Modem Found in Com 3 !]"));
    QCOMPARE(m_monitor->modem().settings().callerIdCommand, "AT*ID1");
}

void TestModemSearch::excludedKnownPortIsTakenAsFound()
{
    ModemSim modem;
    mapPort(2, modem.device());
    QVERIFY(saveSetting("zodoDE", "Modem", "Com2", "1"));
    m_monitor->modem().settings().port = 2;
    start();
    QCOMPARE(events().mid(0, 3),
             QStringList({"[Initializing Ringwatch...]", "[CALLER ID Modem Found in Com 2 !]",
                          "[System Ready, Waiting for a RING...]"}));
    QVERIFY(m_monitor->modem().isOpen());
}

void TestModemSearch::noPortsToTry()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "NumberOfCom", "0"));
    start();
    QCOMPARE(events(), QStringList({"[Initializing Ringwatch...]", "[Searching for Modems...]",
                                    "[ERROR... NO CALLER ID FEATURE FOUND]"}));
    QCOMPARE(m_window->errors, 1);
}

void TestModemSearch::absentPortsCostNoTimeOut()
{
    SteppedTicks& timeOut = steppedTimeout();
    timeOut.fireWhenStarted = true;
    start();
    // Twelve probes of ports that cannot open, and not one wait for a reply.
    QCOMPARE(timeOut.starts, 0);
    QCOMPARE(events().count("[Testing Com 4 at 9600 ]"), 1);
    QCOMPARE(m_window->errors, 1);
}

void TestModemSearch::switchOffDuringSearchStopsIt()
{
    ModemSim dead({"--silent"});
    mapPort(1, dead.device());
    SteppedTicks& timeOut = steppedTimeout();
    // Switching on only begins the search: it waits for the reply on the event loop, not inside
    // the switch.
    m_monitor->setModemEnabled(true);
    QVERIFY(m_monitor->modem().searching());
    QCOMPARE(timeOut.starts, 1); // "ATZ" sent, its reply awaited
    m_monitor->setModemEnabled(false);
    QVERIFY(!m_monitor->modem().searching());
    QCOMPARE(timeOut.ticks, 0); // the switch ended the wait, not its time-out
    QVERIFY(!timeOut.isActive());
    const MonitorState& s = m_monitor->state();
    QCOMPARE(s.field(MonitorState::Status), "Manual Mode");
    QVERIFY(!m_monitor->modem().isOpen());
    QCoreApplication::processEvents(); // the search's end, queued for the monitor
    QCOMPARE(m_window->errors, 0);
    // The rest of the switch-on action did not run
    QVERIFY(!s.boxEnabled(MonitorState::MaximizeOnRing));
    QCOMPARE(events().last(), "[Testing Com 1 at 56000 ]");
}

void TestModemSearch::secondSearchIsRefused()
{
    ModemSim dead({"--silent"});
    mapPort(1, dead.device());
    QVERIFY(saveSetting("ZodoDE", "Modem", "NumberOfCom", "1"));
    SteppedTicks& timeOut = steppedTimeout();
    timeOut.fireWhenStarted = true;
    timeOut.onStart = [&] {
        if (timeOut.starts == 1)
            QTimer::singleShot(0, &m_monitor->state(), [this] { m_monitor->modem().find(); });
    };
    start();
    QCOMPARE(events().count("[A modem search is already running]"), 1);
    QCOMPARE(events().count("[Initializing Ringwatch...]"), 1);
    QCOMPARE(m_window->errors, 1);
}

void TestModemSearch::callAfterSearchIsLogged()
{
    ModemSim modem;
    mapPort(1, modem.device());
    start();
    QVERIFY(m_monitor->modem().isOpen());
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
    QVERIFY(m_calls.first().endsWith("+1 (613) 555-1234 SMITH JOHN"));
    QFile log(m_monitor->calls().logFile().callLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().endsWith(" +1 (613) 555-1234 SMITH JOHN\"\r\n"));
    modem.command("private");
    QTRY_COMPARE(m_calls.size(), 2);
    QVERIFY(m_calls.last().endsWith(" Private "));
    modem.command("mesg 5550142");
    QTRY_COMPARE(m_calls.size(), 3);
    QVERIFY(m_calls.last().endsWith(" (613) 555-0142 "));
    // Two calls in one burst from the modem are two calls, not the second alone.
    modem.command("replay " + QFINDTESTDATA("fuzz/corpus/two_calls_back_to_back").toLocal8Bit());
    QTRY_COMPARE(m_calls.size(), 5);
    QVERIFY(m_calls.at(3).endsWith(" DOE JOHN"));
    QVERIFY(m_calls.at(4).endsWith(" TREMBLAY MARIE"));
    // A line that sends the number alone: the call has the computer's date and time, and reaches
    // the log like any other.
    modem.command("alone 5550199");
    QTRY_COMPARE(m_calls.size(), 6);
    modem.command("alone 6135550188 SMITH ANNA");
    QTRY_COMPARE(m_calls.size(), 7);
    const QString now = QDateTime::currentDateTime().toString("MM/dd ");
    QVERIFY2(m_calls.at(5).startsWith(now) && m_calls.at(5).endsWith(" (613) 555-0199 "),
             qPrintable(m_calls.at(5)));
    QVERIFY(m_calls.at(6).endsWith(" +1 (613) 555-0188 SMITH ANNA"));
    QVERIFY(log.seek(0));
    QCOMPARE(log.readAll().count("\r\n"), 7);
}

void TestModemSearch::unpluggedModemIsReported()
{
    // The device's link, as udev keeps one under /dev/serial/by-id for a USB modem.
    const QString link = m_home->path() + "/usb-Ringsim_Modem-if00";
    auto modem = std::make_unique<ModemSim>(QStringList{"--link", link});
    mapPort(1, link);
    start();
    QVERIFY(m_monitor->modem().isOpen());
    modem->stop();
    QTRY_VERIFY(!m_monitor->modem().isOpen());
    QVERIFY(events().last().startsWith("[Modem port " + link + " failed: "));
    QCOMPARE(m_monitor->state().field(MonitorState::Status), "ERROR, MODEM DISCONNECTED");
    // Plugged back: opened and set up again by itself, and calls come in again.
    modem = std::make_unique<ModemSim>(QStringList{"--link", link});
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->status(), "Active... Waiting for a Ring", 5000);
    QVERIFY(events().contains("[Modem on " + link + " answers again; caller ID is on]"));
    modem->command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 1);
    // Switching off and on searches again.
    m_monitor->setModemEnabled(false);
    QCOMPARE(m_monitor->state().field(MonitorState::Status), "Manual Mode");
}

void TestModemSearch::hungModemIsNoticedAndSetUpAgain()
{
    ModemSim modem({"--accept", "AT+VCID=1"});
    mapPort(1, modem.device());
    SteppedTicks& timeOut = steppedTimeout();
    auto ticks = std::make_unique<SteppedTicks>(SteppedTicks::Once);
    SteppedTicks& watch = *ticks;
    m_monitor->modem().setTicks(ModemControl::Timer::Watchdog, std::move(ticks));
    start();
    QVERIFY(m_monitor->modemOpen());
    QVERIFY(watch.isActive());
    QCOMPARE(watch.interval, 300000); // the default: five minutes of quiet
    // Waits for this telling's own "done", not one left from an earlier one.
    auto told = [&](const QByteArray& verb) {
        const qsizetype before = modem.output().count("done " + verb);
        modem.command(verb);
        QTRY_VERIFY(modem.output().count("done " + verb) > before);
    };
    const QString lost = "[Modem not answering on " + modem.device() + "; trying again]";
    const QString back = "[Modem on " + modem.device() + " answers again; caller ID is on]";
    QTRY_VERIFY(events().last().endsWith("has no voice mode]"));

    // A quiet modem that answers its check: nothing to say, and the quiet time starts again.
    QCOMPARE(watch.step(), 1);
    QTRY_VERIFY(watch.isActive());
    QCOMPARE(events().last(), "OK");
    QVERIFY(!events().contains(lost));

    // A hung one: said once, then set up again at growing intervals until it answers.
    told("hang");
    QCOMPARE(watch.step(), 1);
    QCOMPARE(timeOut.step(), 1);
    QTRY_VERIFY(events().contains(lost));
    QCOMPARE(m_monitor->status(), "ERROR, MODEM NOT ANSWERING");
    // The waits grow to a minute at most.
    for (int wait : {5000, 10000, 20000, 40000, 60000}) {
        QTRY_COMPARE(watch.interval, wait);
        QCOMPARE(watch.step(), 1);
        QCOMPARE(timeOut.step(), 1);
    }
    QTRY_COMPARE(watch.interval, 60000);
    QCOMPARE(events().count(lost), 1);
    // Back at the next try; the next outage waits from the first step again.
    told("wake");
    QCOMPARE(watch.step(), 1);
    QTRY_COMPARE(events().count(back), 1);
    QCOMPARE(watch.interval, 300000);
    // Back, it is asked again what voice it has.
    QTRY_VERIFY(events().last().endsWith("has no voice mode]"));
    told("hang");
    QCOMPARE(watch.step(), 1);
    QCOMPARE(timeOut.step(), 1);
    QTRY_COMPARE(watch.interval, 5000);
    QCOMPARE(events().count(lost), 2);
    // A modem that speaks again ends the wait at once: a call's rings need no timer.
    told("wake");
    modem.command("call 6135550199 EARLY CALLER");
    QTRY_COMPARE(events().count(back), 2);
    QTRY_COMPARE(m_calls.size(), 1);
    QCOMPARE(m_monitor->status(), "Active... Waiting for a Ring");
    QCOMPARE(watch.interval, 300000);
    QVERIFY(modem.output().contains("caller-id on"));
    // And the calls come in again. Each of their lines starts the quiet time again, and while
    // the call rings no check comes between its rings.
    const int starts = watch.starts;
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE(m_calls.size(), 2);
    QVERIFY(watch.starts > starts);
    const qsizetype checks = modem.output().count("caller-id on");
    QCOMPARE(watch.step(), 1);
    QVERIFY(watch.isActive());
    QCOMPARE(watch.interval, 300000);
    QCOMPARE(modem.output().count("caller-id on"), checks);
}

// The one command queue, built on its own: each request gets one completion, in the order asked,
// and a command is sent only once the one before has its reply.
void TestModemSearch::exchangeEndsOnRepliesOrTimeOut()
{
    ModemSim modem;
    mapPort(1, modem.device());
    SerialLine line;
    ModemReceiver receiver;
    receiver.attach(line.device());
    QStringList heard;
    connect(&receiver, &ModemReceiver::eventLine, &receiver,
            [&heard](const QString& text) { heard << text; });
    CommandExchange x(line, receiver);
    auto ticks = std::make_unique<SteppedTicks>(SteppedTicks::Once);
    SteppedTicks& timeOut = *ticks;
    x.setTicks(std::move(ticks));
    using Reply = CommandExchange::Reply;
    QObject search;
    QObject watchdog;
    QStringList done; // "who command reply", in the order the completions came
    auto ask = [&](QObject& who, const QString& command, int timeoutMs = 0) {
        x.request(
            command, &who,
            [&done, &who, command](Reply reply) {
                done << QString("%1 %2 %3")
                            .arg(who.objectName(), command,
                                 QMetaEnum::fromType<Reply>().valueToKey(int(reply)));
            },
            timeoutMs);
    };
    search.setObjectName("search");
    watchdog.setObjectName("watchdog");
    QVERIFY(x.openPort(1, "9600"));
    QVERIFY(!x.openPort(1, "9600")); // already open
    x.setReplyTimeout(5000);

    // Two parts at once: the second command waits for the first one's reply, so neither takes
    // the other's.
    ask(search, "ATZ");
    ask(watchdog, "ATX9");
    ask(search, "ATI3");
    QVERIFY(x.busy());
    QCOMPARE(timeOut.starts, 1);
    QTRY_COMPARE(done.size(), 3);
    QCOMPARE(done, QStringList({"search ATZ Ok", "watchdog ATX9 Error", "search ATI3 Ok"}));
    QCOMPARE(heard.filter(QRegularExpression("^AT")), QStringList({"ATZ", "ATX9", "ATI3"}));
    QCOMPARE(timeOut.interval, 5000);
    QCOMPARE(timeOut.ticks, 0); // each ended on its reply
    QVERIFY(!x.busy());

    // Nothing comes back for an empty command: its own time-out ends it.
    done.clear();
    ask(watchdog, "", 250);
    QCOMPARE(timeOut.interval, 250);
    QCOMPARE(timeOut.step(), 1);
    QTRY_COMPARE(done, QStringList({"watchdog  TimedOut"}));

    // A part that gives up loses its completions, but its command sent is still answered before
    // the next goes out: the late "OK" does not end another part's command.
    done.clear();
    heard.clear();
    ask(watchdog, "ATZ");
    ask(watchdog, "ATI6");
    ask(search, "ATX9");
    x.cancel(&watchdog);
    QTRY_COMPARE(done, QStringList({"search ATX9 Error"}));
    QCOMPARE(heard.filter(QRegularExpression("^AT")), QStringList({"ATZ", "ATX9"}));

    // A line that closes ends the command under way and those behind it; a closed one never
    // waits.
    done.clear();
    ask(search, "");
    ask(watchdog, "ATZ");
    line.close();
    QTRY_COMPARE(done, QStringList({"search  LineClosed", "watchdog ATZ LineClosed"}));
    const int starts = timeOut.starts;
    ask(search, "ATZ");
    QTRY_COMPARE(done.size(), 3);
    QCOMPARE(timeOut.starts, starts);

    // Once the program ends, nothing more is sent or completed.
    QVERIFY(x.openPort(1, "9600"));
    done.clear();
    ask(search, "ATZ");
    x.shutDown();
    ask(search, "ATZ");
    QCoreApplication::processEvents(); // a completion would have been queued by now
    QVERIFY(done.isEmpty());
    QVERIFY(!x.busy());
}

// A blocked caller's record can come in the same read as the modem's answer to the on-hook
// command of the call before: that caller is hung up on too, once the line is back on-hook. The
// modem here is the test's own end of a terminal, answering as V.250 says.
void TestModemSearch::hangUpAskedWhileGoingOnHookFollows()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    mapPort(1, QString::fromLocal8Bit(name));
    QByteArray heard;
    auto hear = [&] {
        char buffer[256];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            heard.append(buffer, n);
        return heard;
    };
    auto say = [&](const QByteArray& bytes) {
        QCOMPARE(::write(master, bytes.constData(), size_t(bytes.size())), bytes.size());
    };
    ModemControl modem;
    QVERIFY(modem.openPort(1, "9600"));
    int oks = 0;
    connect(&modem, &ModemControl::eventLine, &modem, [&](const QString& line) {
        // The next caller, blocked, in the same read as the on-hook answer.
        if (line == "OK" && ++oks == 2)
            modem.hangUp(50);
    });
    modem.hangUp(50);
    QTRY_COMPARE(hear(), QByteArray("ATH1\r"));
    say("\r\nOK\r\n");
    QTRY_COMPARE(hear(), QByteArray("ATH1\rATH0\r"));
    say("\r\nOK\r\n");
    QTRY_COMPARE(hear(), QByteArray("ATH1\rATH0\rATH1\r"));
    say("\r\nOK\r\n");
    QTRY_COMPARE(hear(), QByteArray("ATH1\rATH0\rATH1\rATH0\r"));
    say("\r\nOK\r\n");
    QTRY_VERIFY(!modem.hangingUp());
    modem.close();
    ::close(slave);
    ::close(master);
}

QTEST_GUILESS_MAIN(TestModemSearch)
#include "tst_modemsearch.moc"

// The real program, ended by a signal: settings and event log must be saved, also while a
// modal dialog is open.
#include "SettingsStore.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestSessionEnd : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void signalSavesEverything_data();
    void signalSavesEverything();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestSessionEnd::init()
{
    m_home = std::make_unique<TestHome>();
}

void TestSessionEnd::signalSavesEverything_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("dialogOpen");
    QTest::newRow("SIGTERM with the modem error open") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP with the modem error open") << int(SIGHUP) << false;
    QTest::newRow("SIGINT with the area-code box open") << int(SIGINT) << true;
}

void TestSessionEnd::signalSavesEverything()
{
    QFETCH(int, signal);
    QFETCH(bool, dialogOpen);
    // A known port without an area code makes the program ask for one and wait (an excluded
    // known port counts as found). Otherwise the search finds nothing and says so in a box.
    if (dialogOpen) {
        QVERIFY(SaveSetting("ZodoDE", "Modem", "ComPort", "2"));
        QVERIFY(SaveSetting("ZodoDE", "Modem", "Com2", "1"));
    }
    QVERIFY(SaveSetting("ZodoDE", "Setup", "PlayWavFile", "1"));

    QProcess ringdesk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    ringdesk.setProcessEnvironment(env);
    ringdesk.start(QCoreApplication::applicationDirPath() + "/ringdesk", {});
    QVERIFY(ringdesk.waitForStarted());
    const QString data = m_home->path() + "/data/ringdesk/";
    // The data folder appears during start-up; a moment later the window (and dialog) are up.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(data).exists(), 15000);
    QTest::qWait(3000);
    QCOMPARE(ringdesk.state(), QProcess::Running);
    ::kill(pid_t(ringdesk.processId()), signal);
    QVERIFY(ringdesk.waitForFinished(15000));
    QCOMPARE(ringdesk.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ringdesk.exitCode(), 0);

    QCOMPARE(GetSetting("ZodoDE", "Setup", "PlayWavFile", ""), "1");
    QCOMPARE(GetSetting("ZodoDE", "Setup", "FindModem", ""), "1");
    QCOMPARE(GetSetting("ZodoDE", "Setup", "Event", ""), "True");
    QCOMPARE(GetSetting("ZodoDE", "Modem", "ComPort", ""), dialogOpen ? "2" : "0");
    QFile events(data + "CallEvnt.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    const QByteArray log = events.readAll();
    QVERIFY(log.contains("[Initializing Ringwatch...]"));
    // The hostprobe library beside the program found the address book usable.
    QCOMPARE(GetSetting("ZodoDE", "Setup", "AutoSearchContact", ""), "1");
    QCOMPARE(log.contains("[ERROR... NO CALLER ID FEATURE FOUND]"), !dialogOpen);
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"

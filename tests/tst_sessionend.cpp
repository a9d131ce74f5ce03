// The real program, ended by a signal: settings and event log must be saved, also while a
// modal dialog is open.
#include "SettingsStore.h"

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
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestSessionEnd::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", (m_home->path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (m_home->path() + "/data").toUtf8());
}

void TestSessionEnd::signalSavesEverything_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("dialogOpen");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT with the area-code box open") << int(SIGINT) << true;
}

void TestSessionEnd::signalSavesEverything()
{
    QFETCH(int, signal);
    QFETCH(bool, dialogOpen);
    // A known port without an area code makes the program ask for one and wait.
    if (dialogOpen)
        QVERIFY(SaveSetting("ZodoDE", "Modem", "ComPort", "2"));
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
    QTest::qWait(1500);
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
    QVERIFY(events.readAll().contains("[Address book not available"));
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"

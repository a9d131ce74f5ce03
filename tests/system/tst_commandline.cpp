// Both programs as a user starts them from a terminal: --help and --version answer at once, and
// options they do not know are refused, also where there is no display, touching nothing; config
// ends cleanly when the session ends.
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>

namespace {

// Whether the process has a handler of its own for the signal, as /proc shows it.
bool catches(qint64 pid, int signal)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void informationNeedsNoDisplay_data();
    void informationNeedsNoDisplay();
    void configEndsOnSigterm();
};

// Answers and refusals alike come before any display is opened.
void TestCommandLine::informationNeedsNoDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("answer");
    QTest::newRow("ringdesk --help") << "ringdesk" << QStringList{"--help"} << 0 << "--minimized";
    QTest::newRow("ringdesk --version")
        << "ringdesk" << QStringList{"--version"} << 0 << "ringdesk 0.1.0";
    QTest::newRow("config --help") << "ringdesk-config" << QStringList{"--help"} << 0 << "Usage:";
    QTest::newRow("config -v") << "ringdesk-config" << QStringList{"-v"} << 0
                               << "ringdesk-config 0.1.0";
    QTest::newRow("ringdesk --bogus")
        << "ringdesk" << QStringList{"--bogus"} << 2 << "Unknown option 'bogus'.";
    QTest::newRow("ringdesk with an argument")
        << "ringdesk" << QStringList{"--minimized", "now"} << 2 << "Unexpected argument: now";
    QTest::newRow("ringdesk --headless --bogus")
        << "ringdesk" << QStringList{"--headless", "--bogus"} << 2 << "Unknown option 'bogus'.";
    QTest::newRow("config --bogus")
        << "ringdesk-config" << QStringList{"--bogus"} << 2 << "Unknown option 'bogus'.";
    QTest::newRow("an option without its value")
        << "ringdesk" << QStringList{"--import-blocklist"} << 2
        << "Missing value after '--import-blocklist'.";
}

void TestCommandLine::informationNeedsNoDisplay()
{
    QFETCH(QString, program);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    TestHome home;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    run.setProcessEnvironment(env);
    run.start(QCoreApplication::applicationDirPath() + '/' + program, options);
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), code);
    QFETCH(QString, answer);
    // A refusal goes to standard error with the usage text.
    const QString printed =
        QString::fromUtf8(code == 0 ? run.readAllStandardOutput() : run.readAllStandardError());
    QVERIFY2(printed.contains(answer), qPrintable(printed));
    if (code != 0)
        QVERIFY2(printed.contains("Usage: "), qPrintable(printed));
    // Nothing was read from a port or written: no settings, no lock, no logs.
    QVERIFY(QDir(home.path() + "/runtime").isEmpty());
    QVERIFY(!QDir(home.path() + "/data").exists());
}

void TestCommandLine::configEndsOnSigterm()
{
    TestHome home;
    QProcess config;
    TestHome::startProgram(config, "ringdesk-config", "offscreen");
    QVERIFY(config.waitForStarted());
    // Sent once the program handles it, not while it starts up.
    QTRY_VERIFY_WITH_TIMEOUT(catches(config.processId(), SIGTERM), 20000);
    QCOMPARE(config.state(), QProcess::Running);
    ::kill(pid_t(config.processId()), SIGTERM);
    QVERIFY(config.waitForFinished(15000));
    QCOMPARE(config.exitStatus(), QProcess::NormalExit);
    QCOMPARE(config.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

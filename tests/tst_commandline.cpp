// Both programs as a user starts them from a terminal: --help and --version answer at once,
// also where there is no display, and touch nothing; config ends cleanly when the session ends.
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

void TestCommandLine::informationNeedsNoDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("answer");
    QTest::newRow("ringdesk --help") << "ringdesk"
                                     << "--help"
                                     << "--minimized";
    QTest::newRow("ringdesk --version") << "ringdesk"
                                        << "--version"
                                        << "ringdesk 0.1.0";
    QTest::newRow("config --help") << "ringdesk-config"
                                   << "--help"
                                   << "Usage:";
    QTest::newRow("config -v") << "ringdesk-config"
                               << "-v"
                               << "ringdesk-config 0.1.0";
}

void TestCommandLine::informationNeedsNoDisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    TestHome home;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    run.setProcessEnvironment(env);
    run.start(QCoreApplication::applicationDirPath() + '/' + program, {option});
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
    QFETCH(QString, answer);
    const QString printed = QString::fromUtf8(run.readAllStandardOutput());
    QVERIFY2(printed.contains(answer), qPrintable(printed));
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

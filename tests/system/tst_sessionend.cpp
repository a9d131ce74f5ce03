// The real program, ended by a signal: settings and event log must be saved, also while a
// modal dialog is open.
#include "ModemSim.h"
#include "TestHome.h"
#include "common/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Whether a process has used no processor time for half a second: its start-up (the window, the
// modem search and its dialog) is over. Asked again and again until it holds.
class Quiet
{
public:
    explicit Quiet(qint64 pid) : m_stat(QString("/proc/%1/stat").arg(pid)) {}
    bool settled()
    {
        QFile stat(m_stat);
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        const QByteArray ticks = fields.value(12) + ' ' + fields.value(13); // utime, stime
        if (ticks != m_ticks || !m_since.isValid()) {
            m_ticks = ticks;
            m_since.start();
        }
        return m_since.elapsed() >= 500;
    }

private:
    QString m_stat;
    QByteArray m_ticks;
    QElapsedTimer m_since;
};

} // namespace

class TestSessionEnd : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void signalSavesEverything_data();
    void signalSavesEverything();
    void unloadIsOneQuickWrite();
    void rewritesReachTheDiskBeforeTheyReplace();
    void fileSizeLimitIsAWriteError();
    void callsWaitForAFullDisk();
    void secondCopyLeavesTheFirstAlone();
    void emptyStoreNeverOpensTheConsole();

private:
    // The real monitor, on this test's home, once its window is up.
    void start(QProcess& ringdesk);

    std::unique_ptr<TestHome> m_home;
};

void TestSessionEnd::init()
{
    m_home = std::make_unique<TestHome>();
}

void TestSessionEnd::start(QProcess& ringdesk)
{
    TestHome::startProgram(ringdesk, "ringdesk", "offscreen");
    QVERIFY(ringdesk.waitForStarted());
    // The data folder appears during start-up; a moment later the window (and dialog) are up.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(m_home->dataDir()).exists(), 15000);
    Quiet quiet(ringdesk.processId());
    QTRY_VERIFY_WITH_TIMEOUT(quiet.settled(), 15000);
    QCOMPARE(ringdesk.state(), QProcess::Running);
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
        QVERIFY(saveSetting("ZodoDE", "Modem", "ComPort", "2"));
        QVERIFY(saveSetting("ZodoDE", "Modem", "Com2", "1"));
    }
    QVERIFY(saveSetting("ZodoDE", "Setup", "PlayWavFile", "1"));

    QProcess ringdesk;
    start(ringdesk);
    const QString data = m_home->path() + "/data/ringdesk/";
    ::kill(pid_t(ringdesk.processId()), signal);
    QVERIFY(ringdesk.waitForFinished(15000));
    QCOMPARE(ringdesk.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ringdesk.exitCode(), 0);

    QCOMPARE(readSetting("ZodoDE", "Setup", "PlayWavFile", ""), "1");
    QCOMPARE(readSetting("ZodoDE", "Setup", "FindModem", ""), "1");
    QCOMPARE(readSetting("ZodoDE", "Setup", "Event", ""), "True");
    QCOMPARE(readSetting("ZodoDE", "Modem", "ComPort", ""), dialogOpen ? "2" : "0");
    QFile events(data + "CallEvnt.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    const QByteArray log = events.readAll();
    QVERIFY(log.contains("[Initializing Ringwatch...]"));
    // The hostprobe library beside the program found the address book usable.
    QCOMPARE(readSetting("ZodoDE", "Setup", "AutoSearchContact", ""), "1");
    QCOMPARE(log.contains("[ERROR... NO CALLER ID FEATURE FOUND]"), !dialogOpen);
}

// A logout gives a program little time: the fifteen settings go in one write.
void TestSessionEnd::unloadIsOneQuickWrite()
{
    QProcess ringdesk;
    start(ringdesk);
    // Every rewrite of the store ends with a new file moved into its place.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_home->path() + "/config").constData(),
                              IN_MOVED_TO | IN_CLOSE_WRITE) >= 0);
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(ringdesk.processId()), SIGTERM);
    QVERIFY(ringdesk.waitForFinished(15000));
    const qint64 elapsed = timer.elapsed();
    qInfo() << "SIGTERM to exit:" << elapsed << "ms";
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
    QCOMPARE(readSetting("ZodoDE", "Setup", "Event", ""), "True");

    int rewrites = 0;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->len > 0 && QByteArray(event->name) == "zodode.ini")
                ++rewrites;
            p += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    QCOMPARE(rewrites, 1);
}

// A rewrite is on the disk before it takes the old file's place: after a power cut the settings
// and the event log are the old ones or the new ones, never empty.
void TestSessionEnd::rewritesReachTheDiskBeforeTheyReplace()
{
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty())
        QSKIP("strace is not installed (Debian package strace): nothing to watch the writes with");
    const QString trace = m_home->path() + "/trace";
    QProcess traced;
    traced.setProcessEnvironment(TestHome::programEnvironment("offscreen"));
    traced.setProgram(strace);
    traced.setArguments({"-f", "-y", "-qq", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2",
                         "-o", trace, "--", QCoreApplication::applicationDirPath() + "/ringdesk"});
    traced.start();
    QVERIFY(traced.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        QDir(m_home->dataDir()).exists() || traced.state() == QProcess::NotRunning, 20000);
    if (traced.state() == QProcess::NotRunning)
        QSKIP(qPrintable("strace cannot trace here: " + traced.readAllStandardError()));
    QFile children(QString("/proc/%1/task/%1/children").arg(traced.processId()));
    QVERIFY(children.open(QIODevice::ReadOnly));
    const pid_t monitor = pid_t(children.readAll().trimmed().toLongLong());
    QVERIFY(monitor > 0);
    Quiet quiet(monitor);
    QTRY_VERIFY_WITH_TIMEOUT(quiet.settled(), 15000); // the window is up, the search has ended
    ::kill(monitor, SIGTERM);
    QVERIFY(traced.waitForFinished(20000));

    QFile log(trace);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QRegularExpression sync(R"re((?:fsync|fdatasync)\(\d+<([^>]+)>\) = 0)re");
    const QRegularExpression rename(
        R"re(rename(?:at2?)?\((?:[^,"]+, )?"([^"]+)", (?:[^,"]+, )?"([^"]+)")re");
    QSet<QString> synced;
    QStringList replaced;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (const QRegularExpressionMatch m = sync.match(text); m.hasMatch())
            synced.insert(m.captured(1));
        const QRegularExpressionMatch m = rename.match(text);
        if (!m.hasMatch() || !text.endsWith("= 0"))
            continue;
        replaced << QFileInfo(m.captured(2)).fileName();
        QVERIFY2(synced.contains(m.captured(1)), qPrintable(text + " before its data was synced"));
    }
    QVERIFY2(replaced.contains("zodode.ini"), qPrintable(replaced.join(' ')));
    QVERIFY2(replaced.contains("CallEvnt.txt"), qPrintable(replaced.join(' ')));
}

void TestSessionEnd::fileSizeLimitIsAWriteError()
{
    QFile store(SettingsStore::pathFor("ZodoDE"));
    QVERIFY(store.open(QIODevice::ReadOnly));
    const QByteArray before = store.readAll();
    store.close();
    QProcess ringdesk;
    // The settings rewrite at exit is larger than the limit allows.
    ringdesk.setChildProcessModifier([] {
        struct rlimit limit = {200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    start(ringdesk);
    ::kill(pid_t(ringdesk.processId()), SIGTERM);
    QVERIFY(ringdesk.waitForFinished(15000));
    QCOMPARE(ringdesk.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ringdesk.exitCode(), 0);
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll(), before); // the old file stays whole
}

// A full disk (here the file size limit of the running monitor, which `prlimit` lowers and
// raises) keeps the calls that come meanwhile, in order, and writes them once it has room: to
// CallLog.txt and the history, each once, also across a restart.
void TestSessionEnd::callsWaitForAFullDisk()
{
    if (QStandardPaths::findExecutable("prlimit").isEmpty() ||
        QStandardPaths::findExecutable("sqlite3").isEmpty())
        QSKIP("needs prlimit (util-linux) and the sqlite3 shell");
    ModemSim modem({"--accept", "AT+VCID=1"});
    TestHome::useModem(modem.device());
    const QString log = m_home->dataDir() + "CallLog.txt";
    auto records = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QProcess monitor;
    auto said = [&monitor] {
        return QString::fromUtf8(monitor.peek(1 << 22));
    };
    auto limit = [&monitor](const QString& size) {
        return QProcess::execute("prlimit", {"--pid", QString::number(monitor.processId()),
                                             "--fsize=" + size + ":unlimited"}) == 0;
    };
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("[System Ready"), 60000);
    modem.command("call 6135550101 FIRST CALLER");
    QTRY_VERIFY_WITH_TIMEOUT(records().contains("FIRST CALLER"), 10000);

    // No room: the calls are taken, said once, and wait.
    QVERIFY(limit(QString::number(QFileInfo(log).size())));
    modem.command("call 6135550102 SECOND CALLER");
    QTRY_COMPARE_WITH_TIMEOUT(said().count("\nCall: "), 2, 10000);
    modem.command("call 6135550103 THIRD CALLER");
    QTRY_COMPARE_WITH_TIMEOUT(said().count("\nCall: "), 3, 10000);
    QCOMPARE(said().count("the call is kept and written as soon as the file takes it]"), 1);
    QVERIFY(!records().contains("SECOND CALLER"));

    // Room again: the next call brings the others before it, in order.
    QVERIFY(limit("unlimited"));
    modem.command("call 6135550104 FOURTH CALLER");
    QTRY_VERIFY_WITH_TIMEOUT(records().contains("FOURTH CALLER"), 10000);
    const QStringList lines = records().split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(lines.at(i).contains(QStringList{"FIRST", "SECOND", "THIRD", "FOURTH"}.at(i)),
                 qPrintable(lines.join('\n')));
    // Said on the monitor's output, which may reach the pipe a moment after the file.
    QTRY_VERIFY(said().contains("written again: 2 calls that waited are in it]"));

    // Full again at the end: the call that waits is kept apart, in memory's file system.
    QVERIFY(limit(QString::number(QFileInfo(log).size())));
    modem.command("call 6135550105 FIFTH CALLER");
    QTRY_COMPARE_WITH_TIMEOUT(said().count("\nCall: "), 5, 10000);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(15000));
    QVERIFY2(said().contains("go into it at the next start]"), qPrintable(said()));
    QVERIFY(!records().contains("FIFTH CALLER"));

    // After a restart the log and the history have each call once, in order.
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY2_WITH_TIMEOUT(said().contains("[System Ready"), qPrintable(said()), 60000);
    QVERIFY(said().contains("[1 calls that waited in "));
    QCOMPARE(records().split("\r\n", Qt::SkipEmptyParts).size(), 5);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(15000));
    QProcess shell;
    shell.start("sqlite3", {"-readonly", m_home->dataDir() + "calls.sqlite",
                            "SELECT log_record, name FROM calls ORDER BY log_record"});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             QStringList({"0|FIRST CALLER", "1|SECOND CALLER", "2|THIRD CALLER", "3|FOURTH CALLER",
                          "4|FIFTH CALLER"}));
}

// A second start shows the running monitor and ends, touching neither settings nor logs.
void TestSessionEnd::secondCopyLeavesTheFirstAlone()
{
    QVERIFY(saveSetting("ZodoDE", "Setup", "PlayWavFile", "1"));
    QProcess first;
    start(first);
    const QFileInfo storeBefore(SettingsStore::pathFor("ZodoDE"));

    QProcess second;
    second.setProcessEnvironment(first.processEnvironment());
    second.start(QCoreApplication::applicationDirPath() + "/ringdesk", {});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    const QFileInfo storeAfter(SettingsStore::pathFor("ZodoDE"));
    QCOMPARE(storeAfter.lastModified(), storeBefore.lastModified());
    QVERIFY(!QFileInfo::exists(m_home->dataDir() + "CallEvnt.txt"));

    ::kill(pid_t(first.processId()), SIGTERM);
    QVERIFY(first.waitForFinished(15000));
    QVERIFY(QFileInfo::exists(m_home->dataDir() + "CallEvnt.txt"));

    // A lock left by a monitor that was killed does not keep the next one from starting.
    QProcess killed;
    start(killed);
    killed.kill();
    QVERIFY(killed.waitForFinished(15000));
    QProcess next;
    start(next);
    ::kill(pid_t(next.processId()), SIGTERM);
    QVERIFY(next.waitForFinished(15000));
    QCOMPARE(next.exitCode(), 0);
}

// A first start with nothing stored searches the machine's own ports: the kernel console, a
// serial port of this machine, must not be opened (the search would write "ATZ" to it).
void TestSessionEnd::emptyStoreNeverOpensTheConsole()
{
    QVERIFY(QFile::remove(SettingsStore::pathFor("ZodoDE")));
    QFile active("/sys/class/tty/console/active");
    QStringList consoles;
    if (active.open(QIODevice::ReadOnly))
        consoles = QString::fromLocal8Bit(active.readAll()).simplified().split(' ');
    consoles.removeAll("tty0");
    consoles.removeAll("");
    if (consoles.isEmpty())
        QSKIP("this machine's console is no serial port");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    int watched = 0;
    for (const QString& console : consoles)
        watched += inotify_add_watch(watch, QFile::encodeName("/dev/" + console).constData(),
                                     IN_OPEN) >= 0;
    QVERIFY(watched > 0);
    QProcess ringdesk;
    start(ringdesk);
    ::kill(pid_t(ringdesk.processId()), SIGTERM);
    QVERIFY(ringdesk.waitForFinished(15000));
    char buffer[4096];
    const ssize_t opened = ::read(watch, buffer, sizeof buffer);
    ::close(watch);
    QVERIFY2(opened <= 0, qPrintable(consoles.join(' ') + " was opened"));
    QFile events(m_home->dataDir() + "CallEvnt.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    QVERIFY(events.readAll().contains("[Searching for Modems...]"));
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"

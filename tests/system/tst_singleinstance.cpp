#include "TestHome.h"
#include "common/SingleInstance.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void laterCopyAsksTheFirstToShowItself();
    void aDeadCopysLeftoversAreTakenOverAndALiveOneNeverIs();
    void theWindowBesideTheServiceSaysSo();
    void aSecondWindowSaysSoAndShowsTheFirst();
};

void TestSingleInstance::laterCopyAsksTheFirstToShowItself()
{
    TestHome home;
    QCOMPARE(SingleInstance::runtimeFolder(), home.path() + "/runtime");
    SingleInstance first(QStringLiteral("ringdesk"));
    QVERIFY(first.claim());
    QSignalSpy shown(&first, &SingleInstance::activationRequested);
    SingleInstance second(QStringLiteral("ringdesk"));
    QVERIFY(!second.claim());
    QTRY_COMPARE(shown.count(), 1);
    // Another program name is another lock.
    SingleInstance other(QStringLiteral("ringdesk-other"));
    QVERIFY(other.claim());
}

// A monitor killed outright leaves its lock and its socket; the next one starts, and later ones
// reach it at once. A lock held for hours by a running monitor is never taken as stale.
void TestSingleInstance::aDeadCopysLeftoversAreTakenOverAndALiveOneNeverIs()
{
    TestHome home;
    QProcess gone;
    gone.start("true");
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QFile lock(home.path() + "/runtime/ringdesk.lock");
    QVERIFY(lock.open(QIODevice::WriteOnly));
    // As QLockFile writes it: process id, program, host, machine id, boot id.
    lock.write(QByteArray::number(deadPid) + "\nringdesk\n" + QSysInfo::machineHostName().toUtf8() +
               '\n' + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n');
    lock.close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(home.path() + "/runtime/ringdesk.socket");
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    const int leftover = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(::bind(leftover, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(leftover); // the file stays, with nobody listening

    SingleInstance first(QStringLiteral("ringdesk"));
    QVERIFY(first.claim());
    QSignalSpy shown(&first, &SingleInstance::activationRequested);
    QElapsedTimer knocking;
    knocking.start();
    SingleInstance second(QStringLiteral("ringdesk"));
    QVERIFY(!second.claim());
    QTRY_COMPARE(shown.count(), 1);
    QVERIFY2(knocking.elapsed() < 2500, "the later copy waited for a listener that was not there");

    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                             QFileDevice::FileModificationTime));
    lock.close();
    SingleInstance third(QStringLiteral("ringdesk"));
    QVERIFY(!third.claim());
    QTRY_COMPARE(shown.count(), 2);
}

// The window program started while the windowless monitor (the service) runs: it says so, with
// the way out, instead of ending without a word.
void TestSingleInstance::theWindowBesideTheServiceSaysSo()
{
    TestHome home;
    saveSetting("ZodoDE", "Web", "Listen", "127.0.0.1:8080");
    QProcess service;
    TestHome::startProgram(service, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(service.peek(1 << 20).contains("[Initializing Ringwatch"), 20000);
    QProcess window;
    TestHome::startProgram(window, "ringdesk", "offscreen");
    window.setReadChannel(QProcess::StandardError);
    QTRY_VERIFY_WITH_TIMEOUT(window.peek(1 << 20).contains("already running without a window"),
                             20000);
    const QString said = QString::fromUtf8(window.readAllStandardError());
    QVERIFY2(said.contains("systemctl --user stop ringdesk") && said.contains("127.0.0.1:8080"),
             qPrintable(said));
    // The box waits for the user; the service was left alone.
    QCOMPARE(window.state(), QProcess::Running);
    window.kill();
    QVERIFY(window.waitForFinished(10000));
    QCOMPARE(service.state(), QProcess::Running);
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
}

// A plain `ringdesk` beside a running one (the demo's, say) is not a second monitor.
void TestSingleInstance::aSecondWindowSaysSoAndShowsTheFirst()
{
    TestHome home;
    QProcess first;
    TestHome::startProgram(first, "ringdesk", "offscreen");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.path() + "/runtime/ringdesk.socket"), 20000);
    QProcess second;
    TestHome::startProgram(second, "ringdesk", "offscreen");
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(second.readAllStandardError().contains(
                 "ringdesk: Ringwatch is already running for this user; its window is shown"),
             "the second start says why it ends");
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

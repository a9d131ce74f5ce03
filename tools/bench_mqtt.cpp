// The household's bus measured from outside: a broker of its own on a free port, the real
// `ringdesk --headless` on the simulated modem, and a subscriber here. Sends CALLS calls
// INTERVAL_MS apart and prints how many arrived and the time from the last byte of each call on
// the pty to its message at the subscriber (both on the monotonic clock).
// Usage: bench_mqtt RINGDESK MODEMSIM [CALLS [INTERVAL_MS]]
#include "broker/MqttConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long long nowMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool waitFor(QProcess& process, const QByteArray& text, int ms)
{
    QByteArray seen;
    const long long end = nowMicroseconds() + ms * 1000LL;
    while (!seen.contains(text) && nowMicroseconds() < end && process.waitForReadyRead(100))
        seen += process.readAll();
    return seen.contains(text);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_mqtt RINGDESK MODEMSIM [CALLS [INTERVAL_MS]]\n");
        return 2;
    }
    const QString ringdesk = QString::fromLocal8Bit(argv[1]);
    const QString modemsim = QString::fromLocal8Bit(argv[2]);
    const int calls = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int interval = argc > 4 ? std::atoi(argv[4]) : 200;
    QString broker = QStandardPaths::findExecutable("mosquitto");
    if (broker.isEmpty())
        broker = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin"});
    if (broker.isEmpty()) {
        std::fprintf(stderr, "mosquitto is not installed\n");
        return 2;
    }

    QTemporaryDir home;
    for (const char* dir : {"/config", "/data", "/run"})
        QDir().mkpath(home.path() + dir);
    QFile::setPermissions(home.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + "/run").toUtf8());

    const int port = freePort();
    writeFile(home.path() + "/mosquitto.conf",
              QString("listener %1 127.0.0.1\nallow_anonymous true\nuser %2\n")
                  .arg(port)
                  .arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name))
                  .toUtf8());
    QProcess mosquitto;
    mosquitto.start(broker, {"-c", home.path() + "/mosquitto.conf"});
    QProcess sim;
    sim.start(modemsim, {"--accept", "AT+VCID=1"});
    if (!sim.waitForReadyRead(10000))
        return 1;
    const QByteArray device = sim.readLine().trimmed().mid(7);
    writeFile(home.path() + "/config/zodode.ini",
              "[Modem]\nComPort=1\nCallIDString=AT+VCID=1\n\n[Ports]\nCom1=" + device +
                  "\n\n[Setup]\nAreaCode=613\n\n[MQTT]\nHost=127.0.0.1\nPort=" +
                  QByteArray::number(port) + "\n");

    MqttOptions options;
    options.host = "127.0.0.1";
    options.port = port;
    options.clientId = "bench-subscriber";
    options.subscriptions = {"ringdesk/call"};
    MqttConnection subscriber;
    QHash<QString, long long> arrived; // digits -> when
    QObject::connect(&subscriber, &MqttConnection::messageArrived,
                     [&](const QString&, const QByteArray& payload) {
                         const QString digits =
                             QJsonDocument::fromJson(payload).object()["digits"].toString();
                         arrived.insert(digits, nowMicroseconds());
                     });
    QEventLoop ready;
    QObject::connect(&subscriber, &MqttConnection::connected, &ready, &QEventLoop::quit);
    QTimer::singleShot(10000, &ready, &QEventLoop::quit);
    subscriber.start(options);
    ready.exec();

    QProcess monitor;
    monitor.setProcessChannelMode(QProcess::MergedChannels);
    monitor.start(ringdesk, {"--headless"});
    if (!waitFor(monitor, "[MQTT: connected", 20000)) {
        std::fprintf(stderr, "the monitor did not come up:\n%s\n", monitor.readAll().constData());
        return 1;
    }

    std::printf("%d calls, %d ms apart, through the pty to a subscriber of the broker...\n", calls,
                interval);
    std::fflush(stdout);
    QHash<QString, long long> sent; // digits -> the monotonic time the sim finished writing
    QByteArray simOutput;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        simOutput += sim.readAllStandardOutput();
        int end;
        while ((end = simOutput.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = simOutput.left(end).split(' ');
            simOutput.remove(0, end + 1);
            // One "done call MICROSECONDS" per command, in order: call n has the digits below.
            if (words.size() == 3 && words[0] == "done" && words[1] == "call")
                sent.insert(QString::number(16135500000LL + sent.size()), words[2].toLongLong());
        }
    });
    int next = 0;
    QTimer pace;
    QEventLoop run;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (next == calls) {
            pace.stop();
            QTimer::singleShot(3000, &run, &QEventLoop::quit);
            return;
        }
        sim.write(QByteArray("call 61355") + QByteArray::number(next).rightJustified(5, '0') +
                  " CALLER NUMBER" + QByteArray::number(next) + '\n');
        ++next;
    });
    pace.start(interval);
    run.exec();

    std::vector<double> latencies;
    for (auto it = sent.cbegin(); it != sent.cend(); ++it)
        if (arrived.contains(it.key()))
            latencies.push_back((arrived.value(it.key()) - it.value()) / 1000.0);
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))];
    };
    std::printf("arrived: %lld of %d\n", static_cast<long long>(arrived.size()), calls);
    std::printf("latency last byte -> subscriber: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                at(0.5), at(0.99), latencies.empty() ? 0.0 : latencies.back());

    monitor.terminate();
    monitor.waitForFinished();
    sim.kill();
    sim.waitForFinished();
    subscriber.stop();
    mosquitto.terminate();
    mosquitto.waitForFinished();
    return int(arrived.size()) == calls ? 0 : 1;
}

// Figures for the modem line, printed; run by hand, not by the test suite:
//   CPU used while waiting 3 s for a reply that never comes, and while waiting 60 s for a ring;
//   time from a caller-ID block written to the terminal to its record in CallLog.txt;
//   a full search over four ports that do not exist.
#include "common/SettingsStore.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void idle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? atoi(argv[1]) : 60;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    saveSetting("ZodoDE", "Ports", "Com1", QString::fromLocal8Bit(name));
    for (int port = 2; port <= 16; ++port)
        saveSetting("ZodoDE", "Ports", QStringLiteral("Com%1").arg(port), "/nonexistent");

    WindowControl window;
    Monitor monitor(window);
    monitor.settleLogDirectory();

    // 1. A 3 s wait for a reply that never comes.
    monitor.modem().openPort(1, QStringLiteral("9600"));
    double cpu = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    {
        QEventLoop replied;
        monitor.modem().request(
            QStringLiteral("ATZ"), &replied, [&replied](CommandExchange::Reply) { replied.quit(); },
            3000);
        replied.exec();
    }
    std::printf("3 s wait: %lld ms, CPU %.3f%% of a core\n",
                static_cast<long long>(clock.elapsed()),
                100.0 * (cpuSeconds() - cpu) / (double(clock.elapsed()) / 1000.0));

    // 2. Waiting for a ring with the port open.
    monitor.setModemEnabled(true); // open: no search, just the switch
    monitor.modem().setPollInterval(QStringLiteral("100"));
    cpu = cpuSeconds();
    clock.restart();
    idle(idleSeconds * 1000);
    std::printf("%d s waiting for a ring: CPU %.4f%% of a core\n", idleSeconds,
                100.0 * (cpuSeconds() - cpu) / (double(clock.elapsed()) / 1000.0));

    // 3. From the caller-ID block on the line to its record in the call log.
    const QString log = monitor.calls().logFile().callLogPath();
    const QByteArray block = "RING\r\nDATE = 1206\r\nTIME = 1041\r\nNMBR = 6135551234\r\n"
                             "NAME = SMITH JOHN\r\n\r\n";
    for (int i = 0; i < 5; ++i) {
        const qint64 before = QFileInfo(log).size();
        clock.restart();
        if (::write(master, block.constData(), size_t(block.size())) != block.size())
            return 1;
        while (QFileInfo(log).size() == before && clock.elapsed() < 5000)
            idle(1);
        std::printf("caller-ID block to CallLog.txt: %lld ms (poll interval 100 ms)\n",
                    static_cast<long long>(clock.elapsed()));
        idle(200);
    }

    // 4. A full search over four ports that do not exist.
    monitor.modem().close();
    for (int port = 1; port <= 4; ++port)
        saveSetting("ZodoDE", "Ports", QStringLiteral("Com%1").arg(port), "/nonexistent");
    monitor.modem().settings().port = 0;
    clock.restart();
    {
        QEventLoop ended;
        QObject::connect(&monitor.modem(), &ModemControl::searchEnded, &ended, &QEventLoop::quit,
                         Qt::QueuedConnection);
        monitor.modem().find();
        ended.exec();
    }
    std::printf("search over four absent ports: %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    ::close(slave);
    ::close(master);
    return 0;
}

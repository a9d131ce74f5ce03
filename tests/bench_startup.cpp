// Start-up time with a call log of 100,000 records: from the load step to the window shown with
// the call list filled; with "store" as argument the settings file also holds 100,000 entries
// (1.3 MB) and the unload step's settings save is timed too. Prints the figures; not part of the
// test suite.
#include "common/SettingsStore.h"
#include "monitor/Monitor.h"
#include "shell/Dialogs.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    const QString data = home.path() + "/data/ringdesk/";
    QDir().mkpath(data);
    QFile log(data + "CallLog.txt");
    if (!log.open(QIODevice::WriteOnly))
        return 1;
    QByteArray content;
    for (int i = 0; i < 100000; ++i)
        content += QStringLiteral("\"12/06 10:41 +1 (613) 555-%1 SMITH JOHN\"\r\n")
                       .arg(i % 10000, 4, 10, QLatin1Char('0'))
                       .toUtf8();
    log.write(content);
    log.close();

    const bool bigStore = argc > 1 && QByteArray(argv[1]) == "store";
    if (bigStore) {
        QDir().mkpath(home.path() + "/config");
        QFile store(home.path() + "/config/zodode.ini");
        if (!store.open(QIODevice::WriteOnly))
            return 1;
        QByteArray entries = "[Big]\n";
        for (int i = 0; i < 100000; ++i)
            entries += "Entry" + QByteArray::number(i) + "=value " + QByteArray::number(i) + '\n';
        store.write(entries);
        std::printf("settings file: %lld bytes\n", static_cast<long long>(entries.size()));
    }
    // The modem switch starts off: this measures the window and the call list, not a search.
    saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Setup"), QStringLiteral("FindModem"),
                QStringLiteral("0"));
    Dialogs::setUnattended(true);
    QApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    Lifecycle life(window);
    life.load();
    window.show();
    life.activate();
    window.showDetails(true);
    QApplication::processEvents();
    const qint64 elapsed = clock.elapsed();
    std::printf("start-up with %d call log records: %lld ms\n", int(window.lists().calls().size()),
                static_cast<long long>(elapsed));
    if (bigStore) {
        clock.restart();
        window.monitor().saveSettings();
        window.monitor().calls().logFile().saveEventLog(window.lists().events());
        std::printf("unload step's writes: %lld ms\n", static_cast<long long>(clock.elapsed()));
    }
    return 0;
}

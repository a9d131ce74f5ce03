// Renders the monitor's window, collapsed and with its details, into PNG files for the docs.
// Usage: ringdesk-screenshot OUTPUT_FOLDER (run it under an X server: scripts/screenshots.sh).
#include "common/SettingsStore.h"
#include "config/SetupWindow.h"
#include "monitor/Monitor.h"
#include "shell/Dialogs.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"
#include "ui_SetupWindow.h"
#include "widgets/WindowPlacement.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    // No real port is probed and no box waits for an answer: the picture is staged below.
    for (int port = 1; port <= 16; ++port)
        saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Ports"),
                    QStringLiteral("Com%1").arg(port), QStringLiteral("/nonexistent"));
    Dialogs::setUnattended(true);
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(out);

    MainWindow window;
    window.monitor().addressBookProbe = [](QString*) {
        return true;
    };
    Lifecycle life(window);
    life.load();
    centreOnScreen(&window);
    window.show();
    life.activate();

    window.monitor().setAreaCode(QStringLiteral("613"));
    window.monitor().events().clear();
    for (const char* line :
         {"[Initializing Ringwatch...]", "[Searching for Modems...]", "[Testing Com 1 at 56000 ]",
          "ATZ", "OK", "[Found Modem in Com 1 !]", "[CALLER ID Modem Found in Com 1 !]",
          "[System Ready, Waiting for a RING...]"})
        window.monitor().events().append(QString::fromLatin1(line));
    window.state().setField(MonitorState::Status, QStringLiteral("Active... Waiting for a Ring"));
    window.monitor().modem().receive("RING\r\nDATE = 1206\r\nTIME = 1041\r\n"
                                     "NMBR = 6135551234\r\nNAME = SMITH JOHN\r\n");
    QApplication::processEvents();
    window.grab().save(out + QStringLiteral("/ringdesk.png"));
    window.showDetails(true);
    QApplication::processEvents();
    window.grab().save(out + QStringLiteral("/ringdesk-details.png"));

    saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Modem"), QStringLiteral("ComPort"),
                QStringLiteral("1"));
    saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Modem"), QStringLiteral("CallIDString"),
                QStringLiteral("AT+VCID=1"));
    saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Setup"), QStringLiteral("AreaCode"),
                QStringLiteral("613"));
    saveSetting(QStringLiteral("ZodoDE"), QStringLiteral("Ports"), QStringLiteral("Com1"),
                QStringLiteral("/dev/ttyACM0"));
    SetupWindow setup;
    centreOnScreen(&setup);
    setup.show();
    setup.ui().portChooser->setCurrentIndex(0);
    emit setup.ui().portChooser->activated(0);
    QApplication::processEvents();
    setup.grab().save(out + QStringLiteral("/config.png"));
    return 0;
}

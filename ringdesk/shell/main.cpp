#include "Lifecycle.h"
#include "MainWindow.h"
#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ringdesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ringwatch"));
    QApplication::setDesktopFileName(QStringLiteral("ringdesk"));
    // The window may live in the tray, hidden; only the unload step ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start shows the running monitor and leaves the modem, settings and logs to it.
    SingleInstance instance(QStringLiteral("ringdesk"));
    if (!instance.claim())
        return 0;

    SessionEnd sessionEnd;
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     &MainWindow::MaximizeCallIDForm);
    Lifecycle lifecycle(window);
    QObject::connect(&sessionEnd, &SessionEnd::ending, &lifecycle, &Lifecycle::Form_Unload);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifecycle,
                     &Lifecycle::Form_Unload);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &lifecycle, &Lifecycle::Form_Unload);
    lifecycle.Main();
    return QApplication::exec();
}

#include "Lifecycle.h"
#include "MainWindow.h"
#include "SessionEnd.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ringdesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ringwatch"));
    QApplication::setDesktopFileName(QStringLiteral("ringdesk"));
    // The window may live in the tray, hidden; only the unload step ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SessionEnd sessionEnd;
    MainWindow window;
    Lifecycle lifecycle(window);
    QObject::connect(&sessionEnd, &SessionEnd::ending, &lifecycle, &Lifecycle::Form_Unload);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifecycle,
                     &Lifecycle::Form_Unload);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &lifecycle, &Lifecycle::Form_Unload);
    lifecycle.Main();
    return QApplication::exec();
}

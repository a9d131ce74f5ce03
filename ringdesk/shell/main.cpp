#include "CommandLine.h"
#include "Lifecycle.h"
#include "MainWindow.h"
#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QThreadPool>

namespace {

const QString description = QStringLiteral(
    "Ringwatch: shows who is calling, from a voice/data modem that reports caller ID, logs the "
    "call and looks the caller up in your address book.");

QCommandLineOption minimizedOption()
{
    return QCommandLineOption(QStringLiteral("minimized"),
                              QStringLiteral("Start in the notification area."));
}

} // namespace

int main(int argc, char* argv[])
{
    // Help and version need neither a display nor a modem.
    if (CommandLine::asksForInformation(argc, argv))
        return CommandLine::answer(argc, argv, QStringLiteral("ringdesk"), description,
                                   {minimizedOption()});

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ringdesk"));
    QApplication::setApplicationVersion(CommandLine::version());
    // No display name: Qt would add it to every window title ("Create Contact — Ringwatch").
    QApplication::setDesktopFileName(QStringLiteral("ringdesk"));
    // The window may live in the tray, hidden; only the unload step ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Background work (reading the address book) is rare: its threads end with it, rather than
    // sleep and wake half a minute later only to end then.
    QThreadPool::globalInstance()->setExpiryTimeout(0);
    QCommandLineParser parser;
    CommandLine::prepare(parser, description);
    parser.addOption(minimizedOption());
    parser.process(app);

    // A second start shows the running monitor and leaves the modem, settings and logs to it.
    SingleInstance instance(QStringLiteral("ringdesk"));
    if (!instance.claim())
        return 0;

    SessionEnd sessionEnd;
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     &MainWindow::MaximizeCallIDForm);
    Lifecycle lifecycle(window);
    lifecycle.setStartMinimized(parser.isSet(minimizedOption()));
    QObject::connect(&sessionEnd, &SessionEnd::ending, &lifecycle, &Lifecycle::Form_Unload);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifecycle,
                     &Lifecycle::Form_Unload);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &lifecycle, &Lifecycle::Form_Unload);
    lifecycle.Main();
    return QApplication::exec();
}

#include "common/CommandLine.h"
#include "common/FileLimit.h"
#include "common/SessionEnd.h"
#include "common/SingleInstance.h"
#include "headless/HeadlessMonitor.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <cstdio>

namespace {

const QString description = QStringLiteral(
    "Ringwatch without a window: watches the modem, logs each call, looks the caller up in your "
    "address book and writes every event to standard output.");

} // namespace

int main(int argc, char* argv[])
{
    if (CommandLine::asksForInformation(argc, argv))
        return CommandLine::answer(argc, argv, QStringLiteral("ringdesk --headless"), description,
                                   {});

    FileLimit::raiseToHard();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ringdesk"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
    QThreadPool::globalInstance()->setExpiryTimeout(0);

    // The same lock as the desktop monitor's: one monitor per user, with or without a window.
    SingleInstance instance(QStringLiteral("ringdesk"));
    if (!instance.claim()) {
        // As for the desktop monitor, a second start is not a failure: one is running.
        std::fputs("ringdesk: a monitor is already running for this user\n", stderr);
        return 0;
    }

    SessionEnd sessionEnd;
    HeadlessMonitor monitor;
    QObject::connect(&sessionEnd, &SessionEnd::ending, &monitor, &HeadlessMonitor::stop);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &monitor, &HeadlessMonitor::stop);
    monitor.start();
    if (monitor.stopped())
        return 0;
    return QCoreApplication::exec();
}

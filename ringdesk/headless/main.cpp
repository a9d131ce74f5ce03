#include "calls/ImportedLists.h"
#include "common/CommandLine.h"
#include "common/FileLimit.h"
#include "common/SessionEnd.h"
#include "common/SettingsTable.h"
#include "common/SingleInstance.h"
#include "headless/HeadlessMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>
#include <cstdio>
#include <cstring>

namespace {

const QString description = QStringLiteral(
    "Ringwatch without a window: watches the modem, logs each call, looks the caller up in your "
    "address book and writes every event to standard output.");

// Runs beside a monitor or without one: the monitor reads the new list as soon as it is written.
int importBlocklist(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    CommandLine::prepare(parser, description);
    parser.addOptions({CommandLine::importBlocklistOption(), CommandLine::sourceOption()});
    parser.process(app);
    const QString file = parser.value(CommandLine::importBlocklistOption());
    const QString source = parser.value(CommandLine::sourceOption());
    if (source.isEmpty()) {
        std::fputs("ringdesk: --import-blocklist needs --source NAME, the list's name\n", stderr);
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    const NumberPlan plan(Settings::Country.read(), Settings::AreaCode.read());
    const ImportedLists lists;
    const ImportedLists::Import result = lists.import(file, source, plan);
    for (const QString& skipped : result.skipped)
        std::fprintf(stderr, "ringdesk: %s, %s; skipped\n", qPrintable(file), qPrintable(skipped));
    if (result.skippedLines > result.skipped.size())
        std::fprintf(stderr, "ringdesk: %lld more lines skipped\n",
                     static_cast<long long>(result.skippedLines - result.skipped.size()));
    if (!result.error.isEmpty()) {
        std::fprintf(stderr, "ringdesk: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("Imported %lld numbers from %s as block list %s in %.1f s\n",
                static_cast<long long>(result.numbers), qPrintable(file), qPrintable(source),
                double(timer.elapsed()) / 1000);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const QList<QCommandLineOption> options{CommandLine::importBlocklistOption(),
                                            CommandLine::sourceOption()};
    if (CommandLine::answersFirst(argc, argv, options))
        return CommandLine::answer(argc, argv, QStringLiteral("ringdesk --headless"), description,
                                   options);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--import-blocklist", 18) == 0)
            return importBlocklist(argc, argv);

    FileLimit::raiseToHard();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ringdesk"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
    QThreadPool::globalInstance()->setExpiryTimeout(0);

    // The same lock as the desktop monitor's: one monitor per user, with or without a window.
    SingleInstance instance(QStringLiteral("ringdesk"));
    instance.setKind("headless");
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

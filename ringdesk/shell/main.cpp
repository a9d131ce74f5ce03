#include "common/CommandLine.h"
#include "common/FileLimit.h"
#include "common/PasswordHash.h"
#include "common/SessionEnd.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "common/SingleInstance.h"
#include "shell/Dialogs.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QThreadPool>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const QString description = QStringLiteral(
    "Ringwatch: shows who is calling, from a voice/data modem that reports caller ID, logs the "
    "call and looks the caller up in your address book.");

QCommandLineOption minimizedOption()
{
    return QCommandLineOption(QStringLiteral("minimized"),
                              QStringLiteral("Start in the notification area."));
}

QCommandLineOption headlessOption()
{
    return QCommandLineOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window: events go to standard output."));
}

QCommandLineOption webPasswordOption()
{
    return QCommandLineOption(
        QStringLiteral("set-web-password"),
        QStringLiteral("Read a new password for the web page from standard input (twice on a "
                       "terminal) and store its hash."));
}

// One line of standard input, without echo on a terminal.
std::string readSecret(const char* prompt, bool terminal)
{
    termios before{};
    if (terminal) {
        std::fputs(prompt, stderr);
        tcgetattr(STDIN_FILENO, &before);
        termios quiet = before;
        quiet.c_lflag &= tcflag_t(~ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    for (int c; (c = std::getchar()) != EOF && c != '\n';)
        line += char(c);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &before);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

int setWebPassword(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool terminal = isatty(STDIN_FILENO);
    const std::string password = readSecret("New password for the web page: ", terminal);
    if (terminal && readSecret("Once more: ", terminal) != password) {
        std::fprintf(stderr, "ringdesk: the two passwords differ; nothing changed\n");
        return 1;
    }
    if (QString::fromStdString(password).size() < PasswordHash::minimumLength) {
        std::fprintf(stderr,
                     "ringdesk: the password needs at least %d characters; nothing "
                     "changed\n",
                     PasswordHash::minimumLength);
        return 1;
    }
    const QString hash = PasswordHash::make(QString::fromStdString(password));
    SettingsStore store(Settings::Application);
    if (hash.isEmpty() ||
        !store.save(Settings::WebPasswordHash.section, Settings::WebPasswordHash.key, hash)) {
        std::fprintf(stderr, "ringdesk: the password could not be stored: %s\n",
                     qPrintable(hash.isEmpty() ? QStringLiteral("no hash") : store.lastError()));
        return 1;
    }
    std::fprintf(stderr, "ringdesk: the web page's password is set (only its hash is kept)\n");
    return 0;
}

// The windowless monitor is a program of its own, so that no window library is ever loaded into
// it; it takes this process over, keeping its process id for whoever started it.
int runHeadless(int argc, char* argv[])
{
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) {
        std::fprintf(stderr, "ringdesk: cannot find my own program: %s\n", std::strerror(errno));
        return 1;
    }
    self.resize(std::size_t(length));
    const std::string program = self.substr(0, self.rfind('/') + 1) + "ringdesk-headless";
    std::vector<char*> arguments{const_cast<char*>(program.c_str())};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") != 0)
            arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    execv(program.c_str(), arguments.data());
    std::fprintf(stderr, "ringdesk: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Help, version and a refusal need neither a display nor a modem.
    const QList<QCommandLineOption> options{
        minimizedOption(), headlessOption(), webPasswordOption(),
        CommandLine::importBlocklistOption(), CommandLine::sourceOption()};
    if (CommandLine::answersFirst(argc, argv, options))
        return CommandLine::answer(argc, argv, QStringLiteral("ringdesk"), description, options);
    for (int i = 1; i < argc; ++i) {
        // Importing a block list needs no window either.
        if (std::strcmp(argv[i], "--headless") == 0 ||
            std::strncmp(argv[i], "--import-blocklist", 18) == 0)
            return runHeadless(argc, argv);
        if (std::strcmp(argv[i], "--set-web-password") == 0)
            return setWebPassword(argc, argv);
    }

    FileLimit::raiseToHard();
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
    if (!instance.claim()) {
        // The windowless monitor (the service) has no window to show: say so, with the way out.
        if (instance.runningKind() == "headless")
            Dialogs::serviceRunning(Settings::WebListen.read().trimmed());
        else
            std::fputs("ringdesk: Ringwatch is already running for this user; its window is "
                       "shown\n",
                       stderr);
        return 0;
    }

    SessionEnd sessionEnd;
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     &MainWindow::bringBack);
    Lifecycle lifecycle(window);
    lifecycle.setStartMinimized(parser.isSet(minimizedOption()));
    QObject::connect(&sessionEnd, &SessionEnd::ending, &lifecycle, &Lifecycle::unload);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifecycle, &Lifecycle::unload);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &lifecycle, &Lifecycle::unload);
    lifecycle.start();
    return QApplication::exec();
}

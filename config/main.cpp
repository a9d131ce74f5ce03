#include "common/CommandLine.h"
#include "common/SafeFile.h"
#include "common/SessionEnd.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "config/Autostart.h"
#include "config/SetupWindow.h"
#include "widgets/WindowPlacement.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <csignal>

namespace {

const QString description =
    QStringLiteral("Setup Ringwatch: the modem settings of Ringwatch (ringdesk), which it reads "
                   "at its next start.");

} // namespace

int main(int argc, char* argv[])
{
    // Help and version need no display.
    if (CommandLine::answersFirst(argc, argv, {}))
        return CommandLine::answer(argc, argv, QStringLiteral("ringdesk-config"), description, {});
    // At a file-size limit a save fails and says so instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ringdesk-config"));
    QApplication::setApplicationVersion(CommandLine::version());
    // No display name: Qt would add it to the window title.
    QApplication::setDesktopFileName(QStringLiteral("ringdesk-config"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ringdesk-config.svg")));
    QCommandLineParser parser;
    CommandLine::prepare(parser, description);
    parser.process(app);

    // Ended by the session or a signal, the window closes as with Cancel and the program ends 0.
    SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &SessionEnd::ending, &app, [] { QApplication::exit(0); });

    // What rewrites of a setup program that was killed left beside the files it writes.
    for (const QString& file :
         {SettingsStore::pathFor(Settings::Application), Autostart::entryPath()}) {
        const QFileInfo info(file);
        SafeFile::removeLeftovers(info.path(),
                                  [&info](const QString& name) { return name == info.fileName(); });
    }

    SetupWindow window;
    centreOnScreen(&window);
    window.show();
    if (!window.storeProblem().isEmpty()) {
        QTimer::singleShot(0, &window, [&window] {
            QMessageBox box(QMessageBox::Warning, window.windowTitle(),
                            window.storeProblem() +
                                QStringLiteral(".\nThe other settings are shown. Saving leaves "
                                               "those lines out; a copy of the file as it is "
                                               "now is kept beside it."),
                            QMessageBox::Ok, &window);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        });
    }
    return QApplication::exec();
}

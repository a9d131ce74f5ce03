#include "SetupWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <csignal>

int main(int argc, char* argv[])
{
    // At a file-size limit a save fails and says so instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ringdesk-config"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ringwatch Setup"));
    QApplication::setDesktopFileName(QStringLiteral("ringdesk-config"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ringdesk-config.svg")));

    SetupWindow window;
    window.show();
    if (!window.storeProblem().isEmpty()) {
        QTimer::singleShot(0, &window, [&window] {
            QMessageBox::warning(&window, window.windowTitle(),
                                 window.storeProblem() +
                                     QStringLiteral(".\nThe other settings are shown. Saving "
                                                    "leaves those lines out; a copy of the "
                                                    "file as it is now is kept beside it."));
        });
    }
    return QApplication::exec();
}

#include "shell/HelpWindow.h"

#include "common/AppPaths.h"

#include <QFileInfo>
#include <QUrl>

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent)
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Ringwatch Help"));
    setOpenExternalLinks(true);
    resize(620, 560);
}

QString HelpWindow::helpFile()
{
    return AppPaths::dataFile(QStringLiteral("ringside.html"));
}

void HelpWindow::showTopic(const QString& anchor)
{
    const QString file = helpFile();
    if (QFileInfo::exists(file)) {
        setSource(QUrl::fromLocalFile(file));
        scrollToAnchor(anchor);
    } else {
        setHtml(QStringLiteral("<p>The help file could not be found at <tt>%1</tt>.</p>")
                    .arg(file.toHtmlEscaped()));
    }
    show();
    raise();
    activateWindow();
}

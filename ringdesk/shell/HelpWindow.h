#pragma once

#include <QTextBrowser>

// The program's own help, "ringside.html" from its data folder, in a window of its own.
class HelpWindow : public QTextBrowser
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // "contents", or a section such as "modem" (the modem error's help).
    void showTopic(const QString& anchor);
    static QString helpFile();
};

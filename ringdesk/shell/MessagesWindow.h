#pragma once

#include "calls/CallHistory.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class MessagesWindow;
}

// The answering machine's messages, newest first: when, from whom (as the address book names
// them), how long; unheard ones in bold. Play (which makes it heard), Stop, Mark Heard, Delete.
// It follows the history as messages come and go.
class MessagesWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MessagesWindow(CallHistory& history, QWidget* parent = nullptr);
    ~MessagesWindow() override;

    Ui::MessagesWindow& ui() { return *m_ui; }
    // How a message's file is played and stopped; the desktop's sound unless a test says.
    std::function<void(const QString& file)> play;
    std::function<void()> stop;

    void refresh();

private:
    QString selectedFile() const;

    std::unique_ptr<Ui::MessagesWindow> m_ui;
    CallHistory& m_history;
};

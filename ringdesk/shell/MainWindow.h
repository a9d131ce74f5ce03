#pragma once

#include "monitor/CanberraSound.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"
#include "shell/DesktopNotifier.h"
#include "shell/ItemWindows.h"
#include "shell/MessagesWindow.h"
#include "shell/TrayIcon.h"
#include "shell/WindowModel.h"

#include <QWidget>
#include <memory>
#include <optional>

class HelpWindow;
class QCheckBox;
namespace Ui {
class MainWindow;
}

// The monitor's window "Ringwatch": shows the monitor's state and lists, forwards the user's clicks
// to the monitor, and owns the tray icon and the window states (shown, minimised to the task bar,
// in the tray).
class MainWindow : public QWidget, public WindowControl
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Monitor& monitor() { return m_monitor; }
    MonitorState& state() { return m_monitor.state(); }
    // The event list and the call list.
    WindowModel& lists() { return m_lists; }
    const ItemWindows& itemWindows() const { return m_itemWindows; }
    TrayIcon& tray() { return m_tray; }
    // At start: notifications for calls when "Notify" is on and the desktop has a service for
    // them; without one, a line in the event list says so, once.
    void checkNotifications();
    Ui::MainWindow& ui() { return *m_ui; }

    void showDetails(bool shown);

    // To the tray when "Use System Tray" is ticked and there is one, else to the task bar.
    void minimize();
    void bringBack() override;
    void setTrayImage(TrayImage image) override;
    void setModemMenuChecks(bool enabled) override;
    void beep() override;
    void playChime() override;
    void showModemError(const QStringList& details = {}, bool anyDevice = true) override;
    void modemNotAnswering(const QString& device) override;
    void missedCall(const QString& name) override;
    void showTrayMenu();
    void showHelp(const QString& topic);

    static QIcon windowIconImage();
    static QIcon modemOffIcon();

signals:
    // The user closed the window or chose "&Exit".
    void unloadRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // False when the user chose to stay, or an unsaved item could not be saved.
    bool mayClose();
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showStatus();

private:
    void bindModel();
    void bindCommands();
    void showControl(MonitorState::Control which);
    void showView(MonitorState::View view);
    // The two search buttons: the contact of the number (or name) in the fields, and when none
    // is found the question whether to create it, and the contact on Yes.
    void searchByNumber();
    void searchByName();
    void offerCreation(const QString& offer);
    // "Block" and "Unblock" for the call selected in the call list and for the caller shown.
    void bindBlocking();
    QString selectedCallNumber() const;
    QString selectedCallName() const;
    // The number field's number, when it holds one.
    QString shownNumber() const;

public:
    QAction* blockSelectedAction = nullptr;
    QAction* unblockSelectedAction = nullptr;
    QAction* blockCallerAction = nullptr;
    QAction* unblockCallerAction = nullptr;
    QAction* permitNextAction = nullptr; // in both menus

private:
    QCheckBox* checkBox(MonitorState::Box box) const;

    std::unique_ptr<Ui::MainWindow> m_ui;
    ItemWindows m_itemWindows; // before the monitor, whose address book shows items in them
    Monitor m_monitor;
    WindowModel m_lists;
    TrayIcon m_tray;
    DesktopNotifier m_notifier;
    CanberraSound m_chime;
    std::unique_ptr<MessagesWindow> m_messages; // made when first asked for
    std::optional<QPoint> m_placeBeforeTray;
    bool m_notifications = false;
    unsigned m_fieldsDue = 0; // the fields changed since they were last shown, one bit each
    // A window of its own, not the main window's child: a modal question on the main window
    // must not block reading the help.
    std::unique_ptr<HelpWindow> m_help;
};

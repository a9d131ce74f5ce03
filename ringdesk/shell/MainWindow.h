#pragma once

#include "monitor/Monitor.h"
#include "shell/DesktopNotifier.h"
#include "shell/ItemWindows.h"
#include "shell/TrayIcon.h"
#include "state/WindowControl.h"

#include <QWidget>
#include <memory>
#include <optional>

class HelpWindow;
class QCheckBox;
namespace Ui {
class Form1;
}

// The monitor's window "Ringwatch": shows the monitor state, forwards the user's clicks into it,
// and owns the tray icon and the window states (shown, minimised to the task bar, in the tray).
class MainWindow : public QWidget, public WindowControl
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Monitor& monitor() { return m_monitor; }
    MonitorState& state() { return m_monitor.state; }
    const ItemWindows& itemWindows() const { return m_itemWindows; }
    TrayIcon& tray() { return m_tray; }
    // At start: notifications for calls when "Notify" is on and the desktop has a service for
    // them; without one, a line in the event list says so, once.
    void checkNotifications();
    Ui::Form1& ui() { return *m_ui; }

    // Twips, the window's own unit: the height of the window with its frame.
    void setOuterHeight(int twips);
    int outerHeight() const { return m_outerHeight; }
    void showDetails(bool shown);

    void MinimizeCallIDForm();
    void MaximizeCallIDForm() override;
    void SetTrayIconImage(TrayImage image) override;
    void SetCallIDMenuChecks(bool enabled) override;
    void Beep() override;
    void ShowModemError(const QStringList& details = {}) override;
    void SysTrayMouseEventHandler();
    void showHelp(const QString& topic);

    static QIcon windowIconImage();
    static QIcon modemOffIcon();

signals:
    // The user closed the window or chose "&Exit".
    void unloadRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindState();
    void bindCommands();
    void showControl(MonitorState::Control which);
    void showOption(int number);
    // After a search by hand that found nothing: the question, and the contact on Yes.
    void offerCreation(bool found);
    QCheckBox* checkBox(int number) const;

    std::unique_ptr<Ui::Form1> m_ui;
    ItemWindows m_itemWindows; // before the monitor, whose address book shows items in them
    Monitor m_monitor;
    TrayIcon m_tray;
    DesktopNotifier m_notifier;
    qreal m_statusPointSize = 8;
    std::optional<QPoint> m_placeBeforeTray;
    bool m_notifications = false;
    // A window of its own, not the main window's child: a modal question on the main window
    // must not block reading the help.
    std::unique_ptr<HelpWindow> m_help;
    int m_outerHeight = 0;
};

#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

// What the notification-area icon shows: its picture, its tip and the identity it was added with.
struct TrayIconData
{
    static constexpr int uCallbackMessage = 517;
    // The tip's field holds 64 bytes with its terminator: at most 63 bytes of UTF-8 text.
    static constexpr int TipBytes = 63;

    QWidget* hWnd = nullptr;
    qint64 uID = 0;
    QIcon hIcon;
    QString szTip;
};

// The monitor's icon in the notification area, its pop-up menu RCPopup and the "hook" through
// which the icon's clicks reach the window while it lives in the tray.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);

    void AddTrayIcon(QWidget* hWnd, qint64 id, const QIcon& icon, const QString& tip);
    void DeleteTrayIcon();
    void SetTrayIconImage(const QIcon& icon);
    void SetTrayTip(const QString& status);

    void HookWindow(QWidget* window);
    void UnhookWindow();
    bool IsHooked() const { return m_hooked; }
    // What the icon's activations do while hooked: a context request (right button) asks for
    // the menu, a double click for the window; anything else does nothing. On a D-Bus tray
    // (StatusNotifierItem: KDE Plasma, GNOME's AppIndicator extension, most Wayland sessions) a
    // click arrives as Trigger, never as DoubleClick, and the panel shows the menu itself: there
    // a click asks for the window. Returns -1 when the activation was handled, 0 otherwise.
    int TrayWindowProc(QSystemTrayIcon::ActivationReason reason);

    // Whether the session bus has a StatusNotifierItem host, which is when Qt puts the icon on
    // the D-Bus tray; asked once, when the icon is first shown, as Qt does.
    bool onDBusTray() const { return m_dbusTray; }
    static bool statusNotifierHostRegistered();

    bool isShown() const { return m_icon.isVisible(); }
    const TrayIconData& data() const { return m_data; }

    // "Ringwatch - " and the status, cut to the tip's size without splitting a character.
    static QString tipFor(const QString& status);
    static QString cutToBytes(const QString& text, int bytes);

    QMenu RCPopup;
    QAction* EnableCallID;
    QAction* DisableCallID;
    QAction* MaximizeCallID;

signals:
    void contextRequested();
    void doubleClicked();

private:
    QSystemTrayIcon m_icon;
    TrayIconData m_data;
    bool m_hooked = false;
    bool m_dbusTray = false;
    bool m_trayKnown = false;
};

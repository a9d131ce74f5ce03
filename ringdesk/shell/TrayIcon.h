#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

// The monitor's icon in the notification area, its menu, and the link through which the icon's
// clicks reach the window while the window lives in the tray.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    // What the icon shows and whom it belongs to.
    struct Shown
    {
        QWidget* window = nullptr;
        qint64 id = 0;
        QIcon icon;
        QString tip;
    };
    // The tip's field held 64 bytes with its terminator: at most 63 bytes of UTF-8 text.
    static constexpr int TipBytes = 63;

    explicit TrayIcon(QObject* parent = nullptr);

    void show(QWidget* window, qint64 id, const QIcon& icon, const QString& tip);
    void hide();
    void setImage(const QIcon& icon);
    void setStatus(const QString& status);
    // How many messages nobody has heard: the tip says so first ("2 new messages").
    void setUnheard(int unheard);

    // While the window lives in the tray, the icon's clicks are meant for it.
    void follow(QWidget* window);
    void stopFollowing();
    bool following() const { return m_following; }
    // What the icon's activations do while it follows a window: a context request (right
    // button) asks for the menu, a double click for the window; anything else does nothing. On
    // a D-Bus tray (StatusNotifierItem: KDE Plasma, GNOME's AppIndicator extension, most Wayland
    // sessions) a click arrives as Trigger, never as DoubleClick, and the panel shows the menu
    // itself: there a click asks for the window. True when the activation was handled.
    bool handleActivation(QSystemTrayIcon::ActivationReason reason);

    // Whether the session bus has a StatusNotifierItem host, which is when Qt puts the icon on
    // the D-Bus tray; asked once, when the icon is first shown, as Qt does.
    bool onDBusTray() const { return m_dbusTray; }
    static bool statusNotifierHostRegistered();

    bool isShown() const { return m_icon.isVisible(); }
    const Shown& shown() const { return m_shown; }

    // "Ringwatch - ", the new messages if any, and the status, cut to the tip's size without
    // splitting a character.
    static QString tipFor(const QString& status, int unheard = 0);
    static QString cutToBytes(const QString& text, int bytes);

    QMenu menu;
    QAction* enableAction;
    QAction* disableAction;
    QAction* restoreAction;
    // "Messages", once the answering machine has any: opens the messages window.
    QAction* messagesAction = nullptr;
    void offerMessages();

signals:
    void menuRequested();
    void restoreRequested();
    void messagesRequested();

private:
    QSystemTrayIcon m_icon;
    Shown m_shown;
    QString m_status;
    int m_unheard = 0;
    bool m_following = false;
    bool m_dbusTray = false;
    bool m_trayKnown = false;
};

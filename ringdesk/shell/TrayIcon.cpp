#include "shell/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    EnableCallID = RCPopup.addAction(QStringLiteral("&Enable"));
    EnableCallID->setObjectName(QStringLiteral("EnableCallID"));
    DisableCallID = RCPopup.addAction(QStringLiteral("&Disable"));
    DisableCallID->setObjectName(QStringLiteral("DisableCallID"));
    RCPopup.addSeparator()->setObjectName(QStringLiteral("s1"));
    MaximizeCallID = RCPopup.addAction(QStringLiteral("&Maximize"));
    MaximizeCallID->setObjectName(QStringLiteral("MaximizeCallID"));
    EnableCallID->setCheckable(true);
    DisableCallID->setCheckable(true);
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { TrayWindowProc(reason); });
}

QString TrayIcon::cutToBytes(const QString& text, int bytes)
{
    QString cut;
    int used = 0;
    for (qsizetype i = 0; i < text.size();) {
        // A surrogate pair is one character and must stay whole.
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        const int size = int(character.toUtf8().size());
        if (used + size > bytes)
            break;
        cut += character;
        used += size;
        i += length;
    }
    return cut;
}

QString TrayIcon::tipFor(const QString& status)
{
    return cutToBytes(QStringLiteral("Ringwatch - ") + status, TrayIconData::TipBytes);
}

void TrayIcon::AddTrayIcon(QWidget* hWnd, qint64 id, const QIcon& icon, const QString& tip)
{
    if (m_icon.isVisible())
        return;
    m_data.hWnd = hWnd;
    m_data.uID = id;
    m_data.hIcon = icon;
    m_data.szTip = cutToBytes(tip, TrayIconData::TipBytes);
    if (!m_trayKnown) {
        m_trayKnown = true;
        m_dbusTray = statusNotifierHostRegistered();
        // The panel shows a D-Bus tray's menu itself; it must be handed over to be shown at all.
        if (m_dbusTray)
            m_icon.setContextMenu(&RCPopup);
    }
    m_icon.setIcon(m_data.hIcon);
    m_icon.setToolTip(m_data.szTip);
    m_icon.show();
}

void TrayIcon::DeleteTrayIcon()
{
    m_icon.hide();
}

void TrayIcon::SetTrayIconImage(const QIcon& icon)
{
    m_data.hIcon = icon;
    if (m_icon.isVisible())
        m_icon.setIcon(icon);
}

void TrayIcon::SetTrayTip(const QString& status)
{
    m_data.szTip = tipFor(status);
    if (m_icon.isVisible())
        m_icon.setToolTip(m_data.szTip);
}

void TrayIcon::HookWindow(QWidget* window)
{
    if (m_hooked)
        return;
    m_data.hWnd = window;
    m_hooked = true;
}

void TrayIcon::UnhookWindow()
{
    m_hooked = false;
}

int TrayIcon::TrayWindowProc(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_hooked)
        return 0;
    if (m_dbusTray) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
            return 0;
        emit doubleClicked();
        return -1;
    }
    if (reason == QSystemTrayIcon::Context) {
        emit contextRequested();
        return -1;
    }
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit doubleClicked();
        return -1;
    }
    return 0;
}

bool TrayIcon::statusNotifierHostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return properties.property("IsStatusNotifierHostRegistered").toBool();
}

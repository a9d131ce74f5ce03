#include "shell/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    enableAction = menu.addAction(QStringLiteral("&Enable"));
    enableAction->setObjectName(QStringLiteral("enableAction"));
    disableAction = menu.addAction(QStringLiteral("&Disable"));
    disableAction->setObjectName(QStringLiteral("disableAction"));
    menu.addSeparator()->setObjectName(QStringLiteral("separator"));
    restoreAction = menu.addAction(QStringLiteral("&Maximize"));
    restoreAction->setObjectName(QStringLiteral("restoreAction"));
    enableAction->setCheckable(true);
    disableAction->setCheckable(true);
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { handleActivation(reason); });
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

QString TrayIcon::tipFor(const QString& status, int unheard)
{
    const QString messages = unheard == 0   ? QString()
                             : unheard == 1 ? QStringLiteral("1 new message - ")
                                            : QStringLiteral("%1 new messages - ").arg(unheard);
    return cutToBytes(QStringLiteral("Ringwatch - ") + messages + status, TipBytes);
}

void TrayIcon::show(QWidget* window, qint64 id, const QIcon& icon, const QString& tip)
{
    if (m_icon.isVisible())
        return;
    m_shown.window = window;
    m_shown.id = id;
    m_shown.icon = icon;
    m_shown.tip = cutToBytes(tip, TipBytes);
    if (!m_trayKnown) {
        m_trayKnown = true;
        m_dbusTray = statusNotifierHostRegistered();
        // The panel shows a D-Bus tray's menu itself; it must be handed over to be shown at all.
        if (m_dbusTray)
            m_icon.setContextMenu(&menu);
    }
    m_icon.setIcon(m_shown.icon);
    m_icon.setToolTip(m_shown.tip);
    m_icon.show();
}

void TrayIcon::hide()
{
    m_icon.hide();
}

void TrayIcon::setImage(const QIcon& icon)
{
    m_shown.icon = icon;
    if (m_icon.isVisible())
        m_icon.setIcon(icon);
}

void TrayIcon::offerMessages()
{
    if (messagesAction)
        return;
    messagesAction = menu.addAction(QStringLiteral("M&essages"));
    messagesAction->setObjectName(QStringLiteral("messagesAction"));
    connect(messagesAction, &QAction::triggered, this, &TrayIcon::messagesRequested);
}

void TrayIcon::setUnheard(int unheard)
{
    m_unheard = unheard;
    setStatus(m_status);
}

void TrayIcon::setStatus(const QString& status)
{
    m_status = status;
    m_shown.tip = tipFor(status, m_unheard);
    if (m_icon.isVisible())
        m_icon.setToolTip(m_shown.tip);
}

void TrayIcon::follow(QWidget* window)
{
    if (m_following)
        return;
    m_shown.window = window;
    m_following = true;
}

void TrayIcon::stopFollowing()
{
    m_following = false;
}

bool TrayIcon::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_following)
        return false;
    if (m_dbusTray) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
            return false;
        emit restoreRequested();
        return true;
    }
    if (reason == QSystemTrayIcon::Context) {
        emit menuRequested();
        return true;
    }
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit restoreRequested();
        return true;
    }
    return false;
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

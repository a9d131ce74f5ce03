#include "shell/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
}

bool DesktopNotifier::serviceAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable =
        bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(service);
}

void DesktopNotifier::notify(const CallRecord& call, std::shared_ptr<AddressBookItem> contact)
{
    const QString summary = !call.name.trimmed().isEmpty()     ? call.name
                            : !call.number.trimmed().isEmpty() ? call.number
                                                               : QStringLiteral("Unknown caller");
    QStringList body;
    if (!call.number.isEmpty() && summary != call.number)
        body << call.number;
    body << (call.time + u' ' + call.date).trimmed();
    QStringList actions{QStringLiteral("show"), QStringLiteral("Show")};
    const QString number = call.withheld == CallRecord::Withheld::No ? call.number : QString();
    if (!number.isEmpty())
        actions << QStringLiteral("block") << QStringLiteral("Block");
    if (contact)
        actions << QStringLiteral("contact") << QStringLiteral("Open Contact");
    const QVariantMap hints{{QStringLiteral("category"), QStringLiteral("call.incoming")},
                            {QStringLiteral("desktop-entry"), QStringLiteral("ringdesk")}};
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    message << QStringLiteral("Ringwatch") << uint(0) << QStringLiteral("ringdesk") << summary
            << body.join(u'\n') << actions << hints << int(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, contact, number] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_sent.insert(reply.value(), Sent{contact, number, QString()});
        watcher->deleteLater();
    });
}

void DesktopNotifier::notifyTrouble(const QString& summary, const QString& body,
                                    const QString& category)
{
    const QVariantMap hints{{QStringLiteral("category"), category},
                            {QStringLiteral("desktop-entry"), QStringLiteral("ringdesk")}};
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    message << QStringLiteral("Ringwatch") << uint(0) << QStringLiteral("ringdesk") << summary
            << body << QStringList{QStringLiteral("show"), QStringLiteral("Show")} << hints
            << int(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_sent.insert(reply.value(), Sent{});
        watcher->deleteLater();
    });
}

void DesktopNotifier::notifyMessage(const QString& summary, const QString& file)
{
    const QVariantMap hints{{QStringLiteral("category"), QStringLiteral("call.unanswered")},
                            {QStringLiteral("desktop-entry"), QStringLiteral("ringdesk")}};
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    message << QStringLiteral("Ringwatch") << uint(0) << QStringLiteral("ringdesk") << summary
            << QString()
            << QStringList{QStringLiteral("play"), QStringLiteral("Play"), QStringLiteral("show"),
                           QStringLiteral("Show")}
            << hints << int(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, file] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_sent.insert(reply.value(), Sent{nullptr, QString(), file});
        watcher->deleteLater();
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if (!m_sent.contains(id))
        return; // another program's
    if (action == QLatin1String("show") || action == QLatin1String("default"))
        emit showRequested();
    else if (action == QLatin1String("contact") && m_sent.value(id).contact && openContact)
        openContact(m_sent.value(id).contact);
    else if (action == QLatin1String("block") && !m_sent.value(id).number.isEmpty())
        emit blockRequested(m_sent.value(id).number);
    else if (action == QLatin1String("play") && !m_sent.value(id).message.isEmpty())
        emit playRequested(m_sent.value(id).message);
}

void DesktopNotifier::onClosed(uint id, uint)
{
    m_sent.remove(id);
}

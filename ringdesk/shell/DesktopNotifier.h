#pragma once

#include "calls/CallRecord.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>

class AddressBookItem;

// A desktop notification for every call, through org.freedesktop.Notifications on the session
// bus: the window popping up on a ring is easily refused as focus stealing, and the chime is off
// by default. Summary the caller's name (or the number, "Private", "Out of Area"), body the
// number and time, actions "Show", "Block" for a caller with a number, and, for a caller found in
// the address book, "Open Contact".
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // Whether a notification service is on the session bus (or can be started by it).
    static bool serviceAvailable();

    // Sends the call's notification without waiting for the answer; `contact` is the contact
    // found for the call, or none.
    void notify(const CallRecord& call, std::shared_ptr<AddressBookItem> contact);

    // A notification with "Show" alone: by default that something keeps calls from being seen;
    // `category` in the desktop notification categories ("call.unanswered").
    void notifyTrouble(const QString& summary, const QString& body,
                       const QString& category = QStringLiteral("device.error"));
    // A new message on the answering machine: `summary` says from whom and how long, "Play"
    // asks for `file`.
    void notifyMessage(const QString& summary, const QString& file);
    // What "Open Contact" does with the call's contact.
    std::function<void(const std::shared_ptr<AddressBookItem>&)> openContact;

signals:
    void showRequested();
    void blockRequested(const QString& number);
    void playRequested(const QString& file);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    // Our notifications still open, with the contact each names (or none) and the number.
    struct Sent
    {
        std::shared_ptr<AddressBookItem> contact;
        QString number;
        QString message; // a message's file
    };
    QHash<uint, Sent> m_sent;
};

#pragma once

#include "modem/TickSource.h"

#include <QObject>
#include <memory>

class ModemReceiver;
class SerialLine;

// Sending a command to the modem and waiting for its reply while the program goes on handling
// its events. The wait ends on "OK", an error line, the time-out, a line that closes, or the
// program ending; it never spins, and a second wait while one runs is refused.
class CommandExchange : public QObject
{
    Q_OBJECT
public:
    enum class Reply
    {
        None, // no reply: the time-out, a closed line, a refused wait
        Ok,
        Error
    };

    // The replies are the lines the receiver reads from the same line.
    CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent = nullptr);

    // The six port settings in order; false when the port did not open (it may already be open).
    bool OpenModemPort(int port, const QString& speed);
    void SendModemCommand(const QString& command);
    // The reply to the command just sent, once it has come.
    Reply WaitForResponse();

    // The "ModemResponseTimeout" text the waits use.
    void setReplyTimeout(const QString& text) { m_timeoutText = text; }
    // The time-out in milliseconds that a ModemResponseTimeout text gives: a whole number from 1
    // to 65535 as it stands; more is held at 65535; anything else gives the default 3000.
    static int timeoutFor(const QString& text);

    // The program is ending: the wait under way ends, and no new one begins.
    void shutDown();
    bool shuttingDown() const { return m_shuttingDown; }

    // Where the time-out's tick comes from; a QTimer unless a test steps it.
    void setTicks(std::unique_ptr<TickSource> ticks);

signals:
    // The wait under way may have ended.
    void waitMayEnd();

private:
    void noteReply(Reply reply);
    void timedOut();

    SerialLine& m_line;
    std::unique_ptr<TickSource> m_timeout;
    QString m_timeoutText = QStringLiteral("3000");
    Reply m_reply = Reply::None;
    bool m_waiting = false;
    bool m_awaiting = false; // lowered by the time-out
    bool m_shuttingDown = false;
};

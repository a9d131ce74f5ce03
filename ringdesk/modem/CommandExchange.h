#pragma once

#include "common/TickSource.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class ModemReceiver;
class SerialLine;

// The one writer of commands to the modem. Whoever needs the modem (the search, the watchdog, the
// hook) queues a request and gets one completion for it: "OK", an error line, the time-out, or
// the line closing. Commands go one at a time, each after the reply to the one before, so two
// parts never take each other's replies. Every step runs on the event loop: nothing waits.
class CommandExchange : public QObject
{
    Q_OBJECT
public:
    enum class Reply
    {
        Ok,
        Error,
        TimedOut,
        LineClosed, // closed before the reply, or never open
        Connected   // CONNECT: a voice stream starts
    };
    Q_ENUM(Reply)
    using Completion = std::function<void(Reply)>;
    using Answer = std::function<void(Reply, const QStringList& lines)>;

    // The replies are the lines the receiver reads from the same line.
    CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent = nullptr);

    // The six port settings in order; false when the port did not open (it may already be open).
    bool openPort(int port, const QString& speed);

    // Queues `command` for `requester`; `done` follows once, after the receiver has finished with
    // the line that ended it, so that it may close or reopen the port. `timeoutMs` 0 waits the
    // reply time. Nothing is queued once the program is ending.
    void request(const QString& command, const QObject* requester, Completion done,
                 int timeoutMs = 0);
    // As request(), with the lines the modem sent before its reply (an echo of the command left
    // out): what a query such as ATI0 or AT+VSM=? answers.
    void ask(const QString& command, const QObject* requester, Answer done, int timeoutMs = 0);
    // What `requester` has queued goes, without completions. A command of its already sent still
    // has its reply awaited, so that the reply does not end the next one.
    void cancel(const QObject* requester);
    // While held (a voice stream runs), nothing is sent: the modem takes audio, not commands.
    void setHeld(bool held);
    // A command is under way or waits its turn.
    bool busy() const { return !m_queue.isEmpty() || m_current.has_value(); }

    // How long a command waits for its reply unless its request says otherwise.
    void setReplyTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // The program is ending: nothing more is sent and no completion follows.
    void shutDown();
    bool shuttingDown() const { return m_shuttingDown; }

    // Where the time-out's tick comes from; a QTimer unless a test steps it.
    void setTicks(std::unique_ptr<TickSource> ticks);

private:
    struct Request
    {
        QString command;
        const QObject* requester = nullptr;
        Completion done;
        int timeoutMs = 0;
        Answer answered;
        QStringList lines;
    };
    enum class Step
    {
        Sent,      // waiting for the reply
        Completing // replied; the completion runs once the receiver is done with the line
    };

    void sendNext();
    void replied(Reply reply);
    void finish(Reply reply);

    SerialLine& m_line;
    std::unique_ptr<TickSource> m_timeout;
    int m_timeoutMs = 3000;
    QList<Request> m_queue;
    std::optional<Request> m_current;
    bool m_held = false;
    Step m_step = Step::Sent;
    bool m_shuttingDown = false;
    int m_strayReplies = 0; // replies owed to echoed commands that were not ours
};

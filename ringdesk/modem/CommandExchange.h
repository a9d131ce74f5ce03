#pragma once

#include "modem/TickSource.h"

#include <QObject>
#include <memory>

class ModemReceiver;
class SerialLine;

// One command to the modem and its reply, as a step on the event loop: ask() sends, replied()
// follows once, on "OK", an error line, the time-out, or a line that closes. Nothing waits in
// between, so the window and the network go on while the modem thinks.
class CommandExchange : public QObject
{
    Q_OBJECT
public:
    enum class Reply
    {
        None, // no reply: the time-out, a closed line
        Ok,
        Error
    };
    Q_ENUM(Reply)

    // The replies are the lines the receiver reads from the same line.
    CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent = nullptr);

    // The six port settings in order; false when the port did not open (it may already be open).
    bool OpenModemPort(int port, const QString& speed);
    void SendModemCommand(const QString& command);
    // Sends `command`; replied() follows. False, with nothing sent, while an exchange is under
    // way or once the program is ending.
    bool ask(const QString& command);
    bool asking() const { return m_asking; }
    // The exchange under way ends without its replied().
    void cancel();

    // How long an exchange waits for its reply.
    void setReplyTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // The program is ending: the exchange under way ends, and no new one begins.
    void shutDown();
    bool shuttingDown() const { return m_shuttingDown; }

    // Where the time-out's tick comes from; a QTimer unless a test steps it.
    void setTicks(std::unique_ptr<TickSource> ticks);

signals:
    // Comes after the receiver has finished with the line that ended the exchange, so that
    // whoever acts on it may close or reopen the port.
    void replied(CommandExchange::Reply reply);

private:
    void finish(Reply reply);

    SerialLine& m_line;
    std::unique_ptr<TickSource> m_timeout;
    int m_timeoutMs = 3000;
    bool m_asking = false;
    quint64 m_exchange = 0; // counts exchanges, so that a cancelled one's reply is dropped
    bool m_shuttingDown = false;
};

#pragma once

#include "common/TickSource.h"
#include "modem/CommandExchange.h"

#include <QObject>
#include <functional>
#include <memory>

class ModemReceiver;
class SerialLine;

// Notices a modem that has stopped answering, which would otherwise let every call through
// unseen: when the line has been quiet for the check interval, the modem is sent its caller-ID
// command (which also switches caller ID on again after a reset). No answer within the reply
// time, and the port is opened and the modem set up again, first after 5 s, then at growing
// intervals up to a minute, until it answers; anything the modem says meanwhile ends the wait
// at once. A port that failed (a modem unplugged) is tried every second until the device is
// back, and the modem set up again.
class ModemWatchdog : public QObject
{
    Q_OBJECT
public:
    ModemWatchdog(SerialLine& line, ModemReceiver& receiver, CommandExchange& exchange,
                  QObject* parent = nullptr);

    // Watches the modem just found; `setUp` is its caller-ID command ("AT" when it has none).
    // An interval of 0 watches nothing.
    void start(int intervalMs, int port, const QString& speed, const QString& setUp);
    void stop();
    // The port failed while open: opened again as soon as its device is back.
    void recoverLostPort();
    bool answering() const
    {
        return m_state != State::Recovering && m_state != State::Retrying && m_state != State::Lost;
    }
    // Says whether a check would get in the way now (a call, a hang-up); it then waits.
    std::function<bool()> busy;

    void setTicks(std::unique_ptr<TickSource> ticks);

signals:
    void eventLine(const QString& line);
    void notAnswering();
    void answeringAgain();

private:
    enum class State
    {
        Off,
        Watching,   // waiting for the line to be quiet for the interval
        Checking,   // the check is sent
        Recovering, // not answering: waiting to try again
        Retrying,   // the port reopened, the set-up sent
        Lost        // the port failed: waiting for its device
    };

    void tick();
    void ask();
    void replied(CommandExchange::Reply reply);
    void retryLater();
    void watchAgain();

    SerialLine& m_line;
    CommandExchange& m_exchange;
    std::unique_ptr<TickSource> m_timer;
    State m_state = State::Off;
    int m_interval = 0;
    int m_port = 0;
    QString m_speed;
    QString m_setUp;
    int m_retryDelay = 0;
};

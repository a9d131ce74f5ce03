#pragma once

#include "modem/CommandExchange.h"
#include "common/TickSource.h"

#include <QObject>
#include <functional>
#include <memory>

class ModemReceiver;
class SerialLine;

// Notices a modem that has stopped answering, which would otherwise let every call through
// unseen: when the line has been quiet for the check interval, the modem is sent its caller-ID
// command (which also switches caller ID on again after a reset). No answer within the reply
// time, and the port is opened and the modem set up again, first after 5 s, then at growing
// intervals up to 5 minutes, until it answers.
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
    bool answering() const { return m_state != State::Recovering && m_state != State::Retrying; }
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
        Retrying    // the port reopened, the set-up sent
    };

    void tick();
    void ask();
    void replied(CommandExchange::Reply reply);
    void retryLater();

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

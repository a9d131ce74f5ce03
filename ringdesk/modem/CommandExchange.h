#pragma once

#include "modem/TickSource.h"

#include <QObject>
#include <memory>

class Comm1;
class MonitorState;

// Sending a command to the modem and waiting for its reply while the window goes on handling
// its events. The wait ends on "OK", an error line, the time-out Timer1, a port that closes, or
// the program ending; it never spins, and a second wait while one runs is refused.
class CommandExchange : public QObject
{
    Q_OBJECT
public:
    CommandExchange(MonitorState& state, Comm1& port, QObject* parent = nullptr);

    // The six port settings in order; false when the port did not open (it may already be open).
    bool OpenModemPort(int port, const QString& speed);
    void SendModemCommand(const QString& command);
    void WaitForResponse();
    void Timer1Tick();

    // The time-out in milliseconds that a ModemResponseTimeout text gives: a whole number from 1
    // to 65535 as it stands; more is held at 65535; anything else gives the default 3000.
    static int timeoutFor(const QString& text);

    // Where Timer1's one tick comes from; a QTimer unless a test steps it.
    void setTicks(std::unique_ptr<TickSource> ticks);

private:
    MonitorState& m_state;
    Comm1& m_port;
    std::unique_ptr<TickSource> Timer1;
    bool m_waiting = false;
};

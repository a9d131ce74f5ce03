#pragma once

#include <QStringList>
#include <functional>

class Comm1;
class CommandExchange;
class MonitorState;
class WindowControl;

// Finds the modem that reports caller ID: probes ports with "ATZ" at a few speeds and tries the
// caller-ID commands on each modem that answers; with a known port, checks just that one. Ends
// with the port open on the modem, or with an error for the user.
class ModemSearch
{
public:
    ModemSearch(MonitorState& state, WindowControl& window, Comm1& port, CommandExchange& exchange);

    void setManualMode(std::function<void()> manualMode) { m_manualMode = std::move(manualMode); }

    void SearchModems();
    bool running() const { return m_running; }

private:
    bool probePort(int port, const QStringList& bauds, const QStringList& commands);
    bool interrupted() const;

    MonitorState& m_state;
    WindowControl& m_window;
    Comm1& m_port;
    CommandExchange& m_exchange;
    std::function<void()> m_manualMode;
    bool m_running = false;
    QStringList m_openProblems; // the ports of this search that did not open, and why
};

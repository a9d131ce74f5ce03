#pragma once

#include <functional>

class MonitorState;
class WindowControl;

// The "Modem Enabled" switch Check1. On: the monitor owns a modem, searching for one when the
// port is closed. Off (manual mode): the port is closed and nothing happens by itself.
class ModemSwitch
{
public:
    ModemSwitch(MonitorState& state, WindowControl& window);

    // How the switch reaches the serial port and the modem search.
    struct Port
    {
        std::function<bool()> isOpen = [] {
            return false;
        };
        std::function<void()> close = [] {
        };
        std::function<void()> SearchModems = [] {
        };
    };
    void setPort(Port port) { m_port = std::move(port); }
    // "Search in Contact"'s own action, which the switch-on action ends with.
    void setCheck2Action(std::function<void()> action) { m_check2Action = std::move(action); }

    // Runs whenever Check1's state changes.
    void Check1Click();
    void ManualMode();

private:
    MonitorState& m_state;
    WindowControl& m_window;
    Port m_port;
    std::function<void()> m_check2Action;
};

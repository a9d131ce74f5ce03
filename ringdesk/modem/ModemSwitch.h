#pragma once

class ModemSearch;
class SerialLine;

// The "Modem Enabled" switch. On, the monitor owns a modem, searching for one when the line is
// closed. Off (manual mode), the line is closed and nothing happens by itself.
class ModemSwitch
{
public:
    ModemSwitch(SerialLine& line, ModemSearch& search) : m_line(line), m_search(search) {}

    // Switched on: the modem is searched for unless the line is open. True when a search began;
    // the switch has settled when it finishes.
    bool turnOn();
    // Switched off: a search under way gives up and the line is closed.
    void turnOff();
    bool isOn() const { return m_on; }

private:
    SerialLine& m_line;
    ModemSearch& m_search;
    bool m_on = false;
};

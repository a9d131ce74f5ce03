#include "modem/ModemSwitch.h"

#include "modem/ModemSearch.h"
#include "modem/SerialLine.h"

bool ModemSwitch::turnOn()
{
    m_on = true;
    if (m_line.isOpen())
        return false;
    m_search.start();
    return m_search.running();
}

void ModemSwitch::turnOff()
{
    m_on = false;
    m_search.stop();
    if (m_line.isOpen())
        m_line.close();
}

#pragma once

#include "monitor/Monitor.h"

// The monitor's parts, for tests and tools that drive them one by one (a modem line on a test
// terminal, a record fed to the receiver, a stepped time-out). The program itself goes through
// Monitor's own methods and signals.
struct MonitorParts
{
    explicit MonitorParts(Monitor& monitor)
        : logFile(monitor.m_logFile), history(monitor.m_history), modem(monitor.m_modem),
          addressBook(monitor.m_addressBook), contacts(monitor.m_contacts),
          processor(monitor.m_processor), bus(monitor.m_bus), screen(monitor.m_screen)
    {
    }

    CallLogFile& logFile;
    CallHistory& history;
    ModemControl& modem;
    AddressBook& addressBook;
    AddressBookContacts& contacts;
    CallProcessor& processor;
    CallBus& bus;
    CallScreen& screen;
};

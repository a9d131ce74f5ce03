#pragma once

#include "monitor/Monitor.h"

// The monitor's parts, for tests and tools that drive them one by one (a modem line on a test
// terminal, a record fed to the receiver, a stepped time-out). The program itself goes through
// Monitor's own methods and signals.
struct MonitorParts
{
    explicit MonitorParts(Monitor& monitor)
        : logFile(monitor.m_logFile), history(monitor.m_history), line(monitor.m_line),
          receiver(monitor.m_receiver), exchange(monitor.m_exchange),
          modemSettings(monitor.m_modemSettings), search(monitor.m_search),
          addressBook(monitor.m_addressBook), contacts(monitor.m_contacts),
          processor(monitor.m_processor), bus(monitor.m_bus), screen(monitor.m_screen),
          hook(monitor.m_hook), watchdog(monitor.m_watchdog)
    {
    }

    CallLogFile& logFile;
    CallHistory& history;
    SerialLine& line;
    ModemReceiver& receiver;
    CommandExchange& exchange;
    ModemSettings& modemSettings;
    ModemSearch& search;
    AddressBook& addressBook;
    AddressBookContacts& contacts;
    CallProcessor& processor;
    CallBus& bus;
    CallScreen& screen;
    LineHook& hook;
    ModemWatchdog& watchdog;
};

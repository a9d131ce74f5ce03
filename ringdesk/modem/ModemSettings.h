#pragma once

#include <QString>

// The modem settings as stored ("Modem" section), which a search reads and, having found the
// modem, updates; the program writes them back at its exit.
struct ModemSettings
{
    int port = 0;                           // "ComPort": the port number; 0 searches every port
    QString speed = QStringLiteral("9600"); // "BaudRate"
    QString callerIdCommand;                // "CallIDString"
    QString replyTimeout = QStringLiteral("3000"); // "ModemResponseTimeout", milliseconds
    int portsToSearch = 4;                         // "NumberOfCom"
};

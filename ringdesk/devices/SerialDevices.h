#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The serial devices of the machine that may be a modem, from udev. Probing is not harmless:
// DTR toggled and "ATZ" written to the kernel console, an Arduino or a 3D printer would reset
// or misbehave. So the automatic list keeps USB modems (ttyACM), USB serial adapters (ttyUSB and
// other USB serial drivers) and on-board ports with a UART behind them, and leaves out the
// console, the devices that udev marks for ModemManager to ignore (its own list of known
// non-modems: Arduino boards, GPS receivers, …) and ttyS entries with no UART.
namespace SerialDevices {

struct Device
{
    QString node;                       // /dev/ttyACM0
    QString name;                       // ttyACM0
    QHash<QString, QString> properties; // udev's
    int uartType = -1;                  // the "type" attribute of serial ports; 0 is no UART
};

// The rule, over what udev says of a device; `consoles` are the names of the active consoles.
bool mayBeModem(const Device& device, const QStringList& consoles);

// Every tty udev knows, and the active consoles (/sys/class/tty/console/active).
QList<Device> all();
QStringList consoles();

// The device nodes that may be a modem, in udev's order.
QStringList modemNodes();

// "vendor model" of a device node, from udev; empty when udev does not know it.
QString describe(const QString& node);

} // namespace SerialDevices

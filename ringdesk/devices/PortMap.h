#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Which device a port number stands for. Section "Ports" of the settings, key "Com" followed by
// the number, names a device path; without an entry, port n is the n-th serial device of the
// machine that may be a modem, USB modems first (/dev/ttyACM*, /dev/ttyUSB*, by number), then
// the others; the console and known non-modems are never among them.
namespace PortMap {

QString devicePath(int port);
// The device port n stands for when it has no entry of its own (empty when there is none).
QString automaticDevice(int port);
// The serial devices of the machine that may be a modem (see SerialDevices), in port order.
QStringList machinePorts();
// Tests stand in a list of their own for the machine's devices.
void setMachinePorts(std::optional<QStringList> paths);
// The machine's own ports again.
void resetMachinePorts();
// Device paths in port order: /dev/ttyACM* by number, /dev/ttyUSB* by number, then the rest as
// they stand.
QStringList ordered(QStringList paths);
// The stable /dev/serial/by-id name of a device, or the path itself where there is none.
QString stableName(const QString& device);
// Whether "Don't Use:" holds for the port ("Modem"/"Com<n>"): a stored number other than 0.
// Both programs read it this way, so "01" is excluded in the one as in the other.
bool isExcluded(const QString& key);
// Stores the device a search settled on, unless the port already has an entry.
void remember(int port, const QString& device);

} // namespace PortMap

#pragma once

#include <QList>
#include <QString>

// Why a serial port did not open, in words a user can act on: permission denied (and the group
// that grants it), busy in another program (which one; ModemManager named as such), or no such
// device. The facts are gathered from the system; describing them is a pure function.
namespace PortProblem {

struct Holder
{
    qint64 pid = 0;
    QString name; // the process's command name
};

struct Facts
{
    bool exists = true;
    bool accessDenied = false; // the user may not read and write it
    QString group;             // the group that owns the device
    QList<Holder> holders;     // processes that have it open or locked
    QString systemError;       // what the port itself said, for anything else
};

Facts gather(const QString& device, const QString& systemError);
QString describe(const Facts& facts);

// The processes other than this one that hold the device: its lock file in /run/lock or
// /var/lock, and any process of this user (all of them for root) with the device open.
QList<Holder> holdersOf(const QString& device);

} // namespace PortProblem

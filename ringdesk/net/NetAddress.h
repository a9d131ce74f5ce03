#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QTcpServer>

// The network addresses the settings name: where a server listens, where a device is reached,
// and which networks may connect.
namespace NetAddress {

// "HOST:PORT" ("[::1]:3333", ":3333" for every address); false when it is not one. Port 0 asks
// for any free one.
bool parseListen(const QString& text, QHostAddress* address, quint16* port);
// "HOST" or "HOST:PORT", with `defaultPort` when none is given; false when it is not one.
bool parseHost(const QString& text, quint16 defaultPort, QString* host, quint16* port);
// How an address and port are written for a person: "[::1]:3333", "127.0.0.1:3333".
QString shown(const QHostAddress& address, quint16 port);

using Subnet = QPair<QHostAddress, int>;
// A comma-separated CIDR list ("192.168.0.0/16, ::1/128"; an address alone is itself); false,
// with the entry that is none, when one cannot be read.
bool parseSubnets(const QString& text, QList<Subnet>* subnets, QString* wrong);
// An IPv4 client on an IPv6 socket is held against the IPv4 ranges too.
bool within(const QHostAddress& address, const QList<Subnet>& subnets);
// An IPv4 address mapped into IPv6 ("::ffff:10.0.0.2") as the IPv4 address it is.
QHostAddress plain(const QHostAddress& address);

// Starts `server` listening on "HOST:PORT"; `address` gets the address listened on. False, and
// why in the words of a setting ("Listen holds …"), when it cannot.
bool listen(QTcpServer& server, const QString& listen, QHostAddress* address, QString* problem);

} // namespace NetAddress

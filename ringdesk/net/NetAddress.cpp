#include "net/NetAddress.h"

#include <QRegularExpression>
#include <QUrl>

namespace NetAddress {

bool parseListen(const QString& text, QHostAddress* address, quint16* port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    bool portOk = false;
    const int number = text.mid(colon + 1).toInt(&portOk);
    QString host = text.left(colon).trimmed();
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    *address = QHostAddress(host.isEmpty() ? QStringLiteral("0.0.0.0") : host);
    *port = quint16(number);
    return colon >= 0 && portOk && number >= 0 && number <= 65535 && !address->isNull();
}

namespace {

// An address, or a name as DNS spells it (an international one as its ASCII form would be).
bool validHost(const QString& host)
{
    if (!QHostAddress(host).isNull())
        return true;
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?)(\\.[A-Za-z0-"
                       "9_]([A-Za-z0-9_-]{0,61}"
                       "[A-Za-z0-9_])?)*\\.?$"));
    return name.match(QString::fromLatin1(QUrl::toAce(host))).hasMatch();
}

} // namespace

bool parseHost(const QString& text, quint16 defaultPort, QString* host, quint16* port)
{
    QString rest = text.trimmed();
    *port = defaultPort;
    // "[v6]:port", "[v6]", a bare v6 address, "name:port" or "name".
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return false;
        *host = rest.mid(1, close - 1);
        rest = rest.mid(close + 1);
        if (rest.isEmpty())
            return !host->isEmpty();
        if (!rest.startsWith(u':'))
            return false;
        rest = rest.mid(1);
    } else if (rest.count(u':') == 1) {
        *host = rest.section(u':', 0, 0);
        rest = rest.section(u':', 1);
    } else {
        *host = rest;
        return validHost(*host);
    }
    bool ok = false;
    const int number = rest.toInt(&ok);
    if (!ok || number < 1 || number > 65535)
        return false;
    *port = quint16(number);
    return validHost(*host);
}

QString shown(const QHostAddress& address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return host + u':' + QString::number(port);
}

bool parseSubnets(const QString& text, QList<Subnet>* subnets, QString* wrong)
{
    subnets->clear();
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const QString entry = part.trimmed();
        if (entry.isEmpty())
            continue;
        Subnet subnet = QHostAddress::parseSubnet(entry);
        if (subnet.first.isNull() && !entry.contains(u'/')) {
            const QHostAddress single(entry);
            subnet = {single, single.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (subnet.first.isNull()) {
            *wrong = entry;
            return false;
        }
        subnets->append(subnet);
    }
    return true;
}

bool within(const QHostAddress& address, const QList<Subnet>& subnets)
{
    const QHostAddress v4 = plain(address);
    for (const Subnet& subnet : subnets)
        if (v4.isInSubnet(subnet))
            return true;
    return false;
}

QHostAddress plain(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : address;
}

bool listen(QTcpServer& server, const QString& listen, QHostAddress* address, QString* problem)
{
    quint16 port = 0;
    if (!parseListen(listen, address, &port)) {
        *problem = QStringLiteral("Listen holds \"%1\", not HOST:PORT").arg(listen);
        return false;
    }
    if (!server.listen(*address, port)) {
        *problem = QStringLiteral("cannot listen on %1: %2").arg(listen, server.errorString());
        return false;
    }
    return true;
}

} // namespace NetAddress

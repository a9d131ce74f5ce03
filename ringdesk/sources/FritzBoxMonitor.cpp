#include "sources/FritzBoxMonitor.h"

#include "common/CleanText.h"
#include "net/NetAddress.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <utility>

namespace {

// A box gone quiet is noticed after a minute of silence and five unanswered probes 10 s apart.
void keepAlive(QTcpSocket& socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int fd = int(socket.socketDescriptor());
    if (fd < 0)
        return;
    const int idle = 60, interval = 10, probes = 5;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

// The longest call a box reports is a day's; anything else is no duration.
constexpr int longestCall = 24 * 3600;

} // namespace

FritzBoxMonitor::FritzBoxMonitor(QObject* parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &FritzBoxMonitor::connectNow);
    m_steady.setSingleShot(true);
    m_steady.setInterval(10000);
    connect(&m_steady, &QTimer::timeout, this, &FritzBoxMonitor::steady);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        keepAlive(m_socket);
        m_pending.clear();
        m_dropping = false;
        m_connected = true;
        if (!m_everConnected && !m_complained)
            emit eventLine(QStringLiteral("[FRITZ!Box at %1: listening for calls]").arg(address()));
        m_everConnected = true;
        m_steady.start();
        emit connectedChanged(true);
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { receive(m_socket.readAll()); });
    connect(&m_socket, &QTcpSocket::disconnected, this,
            [this] { lost(QStringLiteral("the box closed the connection")); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            lost(m_socket.errorString());
    });
}

bool FritzBoxMonitor::start(const QString& text, QString* problem)
{
    QString host;
    quint16 port = 0;
    if (!NetAddress::parseHost(text, 1012, &host, &port)) {
        *problem = QStringLiteral("Address holds \"%1\", not HOST or HOST:PORT").arg(text);
        return false;
    }
    m_host = host;
    m_port = port;
    connectNow();
    return true;
}

void FritzBoxMonitor::stop()
{
    m_host.clear();
    m_retry.stop();
    m_steady.stop();
    m_socket.disconnect(this);
    m_socket.abort();
}

QString FritzBoxMonitor::address() const
{
    return (m_host.contains(u':') ? u'[' + m_host + u']' : m_host) + u':' + QString::number(m_port);
}

void FritzBoxMonitor::connectNow()
{
    if (m_host.isEmpty())
        return;
    m_socket.abort();
    m_socket.connectToHost(m_host, m_port);
}

void FritzBoxMonitor::steady()
{
    // The connection held: the outage, if there was one, is over, and the next starts afresh.
    m_delay = 0;
    if (std::exchange(m_complained, false))
        emit eventLine(QStringLiteral("[FRITZ!Box at %1 is back]").arg(address()));
}

void FritzBoxMonitor::lost(const QString& why)
{
    if (m_host.isEmpty() || m_retry.isActive())
        return;
    m_steady.stop();
    if (std::exchange(m_connected, false))
        emit connectedChanged(false);
    if (!std::exchange(m_complained, true))
        emit eventLine(QStringLiteral("[FRITZ!Box at %1 cannot be reached: %2; trying again]")
                           .arg(address(), why));
    m_delay = m_delay == 0 ? 2000 : std::min(m_delay * 2, 60000);
    m_retry.start(m_delay);
}

void FritzBoxMonitor::receive(const QByteArray& bytes)
{
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = from;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        if (end == bytes.size()) {
            // No end yet: kept for the next read, unless it is already longer than a line.
            if (!m_dropping)
                m_pending += bytes.mid(from);
            if (m_pending.size() > MaxLine) {
                m_pending.clear();
                m_dropping = true;
            }
            return;
        }
        if (!m_dropping) {
            m_pending += bytes.mid(from, end - from);
            if (m_pending.size() <= MaxLine)
                readLine(QString::fromUtf8(m_pending));
        }
        m_pending.clear();
        m_dropping = false;
        from = end + 1;
    }
}

void FritzBoxMonitor::readLine(const QString& raw)
{
    // What the box relays of a caller (a name, a line's label) is shown and stored: no control
    // or direction character of it passes.
    const QString line = CleanText::field(raw).trimmed();
    if (line.isEmpty())
        return;
    const QStringList field = line.split(u';');
    const QDateTime when =
        QDateTime::fromString(field.value(0), QStringLiteral("dd.MM.yy HH:mm:ss")).addYears(100);
    const QString type = field.value(1);
    const QString id = field.value(2);
    const bool known =
        type == u"RING" || type == u"CALL" || type == u"CONNECT" || type == u"DISCONNECT";
    if (!when.isValid() || !known || id.isEmpty() || (type == u"RING" && field.size() < 6)) {
        // Told a few times, not for every line of a box that speaks another language.
        if (++m_badLines <= 3)
            emit eventLine(QStringLiteral("[FRITZ!Box sent a line that is no call event: \"%1\"]")
                               .arg(line.left(120)));
        return;
    }
    if (type == u"RING") {
        // The same connection ringing again is a new call: the one before it went unanswered.
        if (m_incoming.contains(id))
            emit ended(id, m_incoming.take(id), 0);
        if (m_incoming.size() > 64)
            m_incoming.clear(); // ids of calls whose end never came
        m_incoming.insert(id, false);
        emit ringing(id, when, field.value(3).trimmed(), field.value(4).trimmed(),
                     field.value(5).trimmed());
    } else if (type == u"CONNECT") {
        if (m_incoming.contains(id) && !std::exchange(m_incoming[id], true))
            emit answered(id);
    } else if (type == u"DISCONNECT") {
        // An outgoing call (CALL) was never one of ours.
        if (!m_incoming.contains(id))
            return;
        bool read = false;
        int seconds = field.value(3).toInt(&read);
        if (!read || seconds < 0 || seconds > longestCall) {
            emit eventLine(QStringLiteral("[FRITZ!Box gave call %1 the duration \"%2\", which is "
                                          "no time from 0 to 24 hours; kept as 0 s]")
                               .arg(id, field.value(3).left(20)));
            seconds = 0;
        }
        emit ended(id, m_incoming.take(id), seconds);
    }
}

#include "sources/FritzBoxMonitor.h"

#include "net/NetAddress.h"

FritzBoxMonitor::FritzBoxMonitor(QObject* parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &FritzBoxMonitor::connectNow);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_delay = 0;
        m_connected = true;
        if (std::exchange(m_complained, false) || m_everConnected)
            emit eventLine(QStringLiteral("[FRITZ!Box at %1 is back]").arg(address()));
        else
            emit eventLine(QStringLiteral("[FRITZ!Box at %1: listening for calls]").arg(address()));
        m_everConnected = true;
        emit connectedChanged(true);
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        while (m_socket.canReadLine())
            readLine(m_socket.readLine());
        // A box sends short lines; anything longer is no line of its own.
        if (m_socket.bytesAvailable() > 4096)
            m_socket.readAll();
    });
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

void FritzBoxMonitor::lost(const QString& why)
{
    if (m_host.isEmpty() || m_retry.isActive())
        return;
    if (std::exchange(m_connected, false))
        emit connectedChanged(false);
    if (!std::exchange(m_complained, true))
        emit eventLine(QStringLiteral("[FRITZ!Box at %1 cannot be reached: %2; trying again]")
                           .arg(address(), why));
    m_delay = m_delay == 0 ? 2000 : std::min(m_delay * 2, 60000);
    m_retry.start(m_delay);
}

void FritzBoxMonitor::readLine(const QByteArray& raw)
{
    const QString line = QString::fromUtf8(raw).trimmed();
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
        if (m_incoming.size() > 64)
            m_incoming.clear(); // ids of calls whose end never came
        m_incoming.insert(id, false);
        emit ringing(id, when, field.value(3).trimmed(), field.value(4).trimmed(),
                     field.value(5).trimmed());
    } else if (type == u"CONNECT") {
        if (m_incoming.contains(id))
            m_incoming[id] = true;
    } else if (type == u"DISCONNECT") {
        // An outgoing call (CALL) was never one of ours.
        if (m_incoming.contains(id))
            emit ended(id, m_incoming.take(id), field.value(3).toInt());
    }
}

#include "modem/SerialLine.h"

#include "modem/PortProblem.h"

#include <QFileInfo>

#include "devices/PortMap.h"

#include <QStringList>

namespace {

struct LineSettings
{
    qint32 baud = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

bool parse(const QString& text, LineSettings* out)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return false;
    bool ok = false;
    out->baud = parts.at(0).trimmed().toInt(&ok);
    if (!ok || out->baud <= 0)
        return false;
    const QString parity = parts.at(1).trimmed().toLower();
    if (parity == QLatin1String("n"))
        out->parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        out->parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        out->parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        out->parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        out->parity = QSerialPort::SpaceParity;
    else
        return false;
    const int bits = parts.at(2).trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return false;
    out->dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts.at(3).trimmed();
    if (stop == QLatin1String("1"))
        out->stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        out->stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        out->stopBits = QSerialPort::TwoStop;
    else
        return false;
    return true;
}

} // namespace

SerialLine::SerialLine(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLine::onError);
}

bool SerialLine::apply()
{
    LineSettings line;
    if (!parse(m_settings, &line))
        return false;
    // 56000 and 28800 are not termios rates; QSerialPort sets them through the kernel's
    // arbitrary-rate call, and a port that refuses a rate says so here.
    bool ok = m_port.setBaudRate(line.baud);
    ok &= m_port.setParity(line.parity);
    ok &= m_port.setDataBits(line.dataBits);
    ok &= m_port.setStopBits(line.stopBits);
    return ok;
}

bool SerialLine::setLineSettings(const QString& settings)
{
    m_settings = settings;
    return apply();
}

bool SerialLine::setHandshaking(int mode)
{
    const QSerialPort::FlowControl flow = mode == 0   ? QSerialPort::NoFlowControl
                                          : mode == 1 ? QSerialPort::SoftwareControl
                                                      : QSerialPort::HardwareControl;
    return m_port.setFlowControl(flow);
}

bool SerialLine::open()
{
    m_openFailure.clear();
    if (m_port.isOpen())
        return false;
    const QString device = PortMap::devicePath(m_portNumber);
    if (device.isEmpty())
        return false;
    m_device = device;
    // Qt locks the device under the name it is given: a /dev/serial/by-id link and the device
    // itself would get two locks for one modem. Opened by its real path, there is one.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    m_openedAs = canonical.isEmpty() ? device : canonical;
    m_port.setPortName(m_openedAs);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openFailure = PortProblem::describe(PortProblem::gather(device, m_port.errorString()));
        return false;
    }
    // A modem answers only a port that shows it is ready. A pseudo-terminal has no such line
    // and refuses, which does not matter to it.
    m_port.setDataTerminalReady(true);
    m_port.clearError();
    return true;
}

void SerialLine::close()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    emit closed();
}

bool SerialLine::write(const QByteArray& bytes)
{
    if (!m_port.isOpen())
        return false;
    return m_port.write(bytes) == bytes.size();
}

void SerialLine::onError(QSerialPort::SerialPortError error)
{
    // An unplugged USB modem reports a resource error; a terminal whose other side went away
    // fails every read. Either way the port is gone, and leaving it open would only repeat the
    // error as fast as the event loop turns.
    if (!m_port.isOpen())
        return;
    QString reason;
    if (error == QSerialPort::ResourceError)
        reason = QStringLiteral("the device was removed");
    else if (error == QSerialPort::ReadError)
        reason = QStringLiteral("the device can no longer be read");
    else
        return;
    close();
    emit portLost(m_device, reason);
}

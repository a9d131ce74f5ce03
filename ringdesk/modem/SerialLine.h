#pragma once

#include <QObject>
#include <QSerialPort>

// The modem's serial line, the only owner of the QSerialPort. Port numbers become devices
// through PortMap when the line is opened. A line that fails while open (a modem unplugged) is
// closed and reported through portLost; the program runs on.
class SerialLine : public QObject
{
    Q_OBJECT
public:
    explicit SerialLine(QObject* parent = nullptr);

    bool isOpen() const { return m_port.isOpen(); }
    void setPortNumber(int port) { m_portNumber = port; }
    int portNumber() const { return m_portNumber; }

    // "speed,parity,data bits,stop bits", such as "9600,n,8,1"; applied at once to an open port.
    // False when the text does not parse or the port refuses a value.
    bool setLineSettings(const QString& settings);
    QString lineSettings() const { return m_settings; }

    // 0 none, 1 XON/XOFF, 2 RTS/CTS (the modem's), 3 both (taken as RTS/CTS).
    bool setHandshaking(int mode);

    bool open();
    void close();
    bool write(const QByteArray& bytes);

    QIODevice* device() { return &m_port; }
    // The device path of the port last opened.
    QString deviceName() const { return m_device; }
    // Why the last open() failed, in the user's words; empty when it opened. A port number with
    // no device at all gives no reason.
    QString openFailure() const { return m_openFailure; }
    // The real path the device was opened by (links resolved).
    QString openedAs() const { return m_openedAs; }
    QString errorString() const { return m_port.errorString(); }

signals:
    void portLost(const QString& device, const QString& reason);
    void closed();

private:
    QString m_openFailure;
    QString m_openedAs;
    void onError(QSerialPort::SerialPortError error);
    bool apply();

    QSerialPort m_port;
    QString m_device;
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
};

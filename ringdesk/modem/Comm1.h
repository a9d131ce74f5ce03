#pragma once

#include <QObject>
#include <QSerialPort>

// The modem's serial port, the only owner of the QSerialPort. Port numbers become devices
// through PortMap when the port is opened. A port that fails while open (a modem unplugged) is
// closed and reported through portLost; the program runs on.
class Comm1 : public QObject
{
    Q_OBJECT
public:
    explicit Comm1(QObject* parent = nullptr);

    bool PortOpen() const { return m_port.isOpen(); }
    void setCommPort(int port) { m_commPort = port; }
    int CommPort() const { return m_commPort; }

    // "speed,parity,data bits,stop bits", such as "9600,n,8,1"; applied at once to an open port.
    // False when the text does not parse or the port refuses a value.
    bool setSettings(const QString& settings);
    QString Settings() const { return m_settings; }

    // Kept for what they mean to the modem line: the receiver reads whatever has arrived, which
    // comes to the same lines as reading one character per notification.
    void setInputLen(int length) { m_inputLen = length; }
    int InputLen() const { return m_inputLen; }
    void setRThreshold(int threshold) { m_rThreshold = threshold; }
    int RThreshold() const { return m_rThreshold; }

    // 0 none, 1 XON/XOFF, 2 RTS/CTS (the modem's), 3 both (taken as RTS/CTS).
    bool setHandshaking(int mode);

    bool open();
    void close();
    bool Output(const QByteArray& bytes);
    qint64 InBufferCount() const { return m_port.bytesAvailable(); }
    QByteArray Input();

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
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_inputLen = 0;
    int m_rThreshold = 0;
};

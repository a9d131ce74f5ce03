#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// The calls a FRITZ!Box router reports on its call-monitor port (1012, switched on by dialling
// #96*5* on a phone attached to it): one line per event, fields separated by ";", lines ended by
// CR LF (a lone CR or LF is taken as well). The connection is kept: TCP keep-alive notices a box
// gone quiet (power cut, reboot) within two minutes; when the box cannot be reached or drops
// it, one event line, then tries at growing intervals (2 s, doubling up to a minute), and one
// line when it is back, once the new connection has held for a while: a box that accepts and
// drops at once is one outage, tried ever more rarely, not two lines every two seconds.
class FritzBoxMonitor : public QObject
{
    Q_OBJECT
public:
    explicit FritzBoxMonitor(QObject* parent = nullptr);

    // Connects to "HOST" or "HOST:PORT"; false, and why, when the text names no box.
    bool start(const QString& address, QString* problem);
    void stop();
    bool running() const { return !m_host.isEmpty(); }
    // "192.168.178.1:1012", as the user is told.
    QString address() const;

    // Bytes from the box, as the socket gives them: lines joined across reads; a line longer
    // than any event is dropped to its end. Public for the tests of its shapes and the fuzzer.
    void receive(const QByteArray& bytes);
    static constexpr qsizetype MaxLine = 8192;
    // How long a new connection must hold before the box counts as back.
    void setSteadyAfter(int milliseconds) { m_steady.setInterval(milliseconds); }

signals:
    // An incoming call: its connection id, the box's time, the caller in the box's national
    // form (empty when withheld), the number called and the box's line ("SIP0", "POTS").
    void ringing(const QString& id, const QDateTime& when, const QString& caller,
                 const QString& called, const QString& line);
    // The incoming call `id` was answered now.
    void answered(const QString& id);
    // The incoming call `id` ended: answered for `seconds`, or missed.
    void ended(const QString& id, bool answered, int seconds);
    void eventLine(const QString& line);
    void connectedChanged(bool connected);

private:
    void connectNow();
    void lost(const QString& why);
    void readLine(const QString& line);
    void steady();

    QTcpSocket m_socket;
    QTimer m_retry;
    QTimer m_steady;
    QByteArray m_pending;    // the start of a line whose end has not come yet
    bool m_dropping = false; // inside a line too long to be one, until its end
    QString m_host;
    quint16 m_port = 1012;
    int m_delay = 0;
    bool m_everConnected = false;
    bool m_complained = false;
    bool m_connected = false;
    QHash<QString, bool> m_incoming; // connection id -> answered, for the calls that rang
    int m_badLines = 0;
};

#pragma once

#include "broker/MqttOptions.h"

#include <QObject>
#include <memory>

class QThread;
struct mosquitto;

// One client connection to an MQTT broker, kept up by a thread of its own so that name lookups,
// connects and TLS handshakes never hold up the event loop. Reconnects after 1 s, doubling to a
// minute, for as long as it runs. Everything it reports arrives as signals on the thread that
// made it, in the order it happened.
class MqttConnection : public QObject
{
    Q_OBJECT
public:
    // Names one message handed to the broker: the connection it went out on and its id there.
    struct Ticket
    {
        quint32 connection = 0;
        int mid = 0;
        bool valid() const { return connection != 0; }
        bool operator==(const Ticket& other) const
        {
            return connection == other.connection && mid == other.mid;
        }
    };

    explicit MqttConnection(QObject* parent = nullptr);
    ~MqttConnection() override;

    void start(const MqttOptions& options);
    // Says goodbye (a retained message, when given) and disconnects, waiting at most `waitMs`
    // for the thread; one stuck in a connect is left to end with the process.
    void stop(const QString& goodbyeTopic = QString(), const QByteArray& goodbye = QByteArray(),
              int waitMs = 2000);

    // Hands a message to the broker; an invalid ticket while there is no connection.
    Ticket publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    bool running() const;

signals:
    // The broker accepted us; `connection` numbers this connection.
    void connected(quint32 connection);
    // An attempt failed or a connection ended; `reason` is meant for the user.
    void failed(const QString& reason, bool refusedByBroker);
    void disconnected(quint32 connection);
    // The broker has a QoS 1 message of ours.
    void delivered(MqttConnection::Ticket ticket);
    // The next attempt comes after this wait.
    void retrying(int milliseconds);
    void messageArrived(const QString& topic, const QByteArray& payload);

private:
    struct Shared;
    // A client with the options, callbacks and the Last Will set, not yet connected; none, with
    // the reason, when the options cannot be set (a CA file that cannot be read).
    static mosquitto* newClient(Shared& shared, QString* problem);
    static void run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
    QThread* m_thread = nullptr;
};

Q_DECLARE_METATYPE(MqttConnection::Ticket)

#include "broker/MqttConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mosquitto.h>
#include <mutex>

namespace {

constexpr int keepAliveSeconds = 30;

QString describe(int rc, int savedErrno, const QString& host)
{
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("unknown host %1").arg(host);
    case MOSQ_ERR_ERRNO:
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QStringLiteral("TLS failure: the broker's certificate was not accepted, or the "
                              "broker does not speak TLS on this port");
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("connection lost");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

// Encryption as the options ask, or a failure: a client without it must never be connected.
bool setUpTls(mosquitto* m, const MqttOptions& o, QString* problem)
{
    if (o.caFile.isEmpty()) {
        if (mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1) == MOSQ_ERR_SUCCESS)
            return true;
        *problem = QStringLiteral("TLS failure: the system's certificate authorities cannot be "
                                  "used");
        return false;
    }
    // Read here first: the library only checks that the file opens, and a folder does.
    QFile file(o.caFile);
    if (!file.open(QIODevice::ReadOnly) || (file.read(1).isEmpty() && file.error())) {
        *problem = QStringLiteral("TLS failure with the CA file %1: %2")
                       .arg(o.caFile, file.exists() ? file.errorString()
                                                    : QStringLiteral("there is no such file"));
        return false;
    }
    const int rc = mosquitto_tls_set(m, QFile::encodeName(o.caFile).constData(), nullptr, nullptr,
                                     nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    *problem = QStringLiteral("TLS failure with the CA file %1: %2")
                   .arg(o.caFile, QString::fromUtf8(mosquitto_strerror(rc)));
    return false;
}

} // namespace

struct MqttConnection::Shared
{
    MqttOptions options;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    mosquitto* mosq = nullptr; // the live client, while the worker loops on it
    quint32 generation = 0;
    std::atomic<bool> connected{false};
    MqttConnection* owner = nullptr;
    QString lastLibraryError; // of this attempt; the worker's alone

    // The reason of a failed attempt, for the user; a TLS failure names the CA file and what
    // the library said of it.
    QString reasonFor(int rc, int savedErrno) const
    {
        const QString reason = describe(rc, savedErrno, options.host);
        if ((rc != MOSQ_ERR_TLS && rc != MOSQ_ERR_TLS_HANDSHAKE) || options.caFile.isEmpty())
            return reason;
        return QStringLiteral("TLS failure with the CA file %1: %2")
            .arg(options.caFile, lastLibraryError.isEmpty() ? reason : lastLibraryError);
    }

    // Runs `f` on the owner's thread, unless the owner is gone by then.
    void post(std::function<void(MqttConnection&)> f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!owner)
            return;
        MqttConnection* o = owner;
        QMetaObject::invokeMethod(
            o, [o, f = std::move(f)] { f(*o); }, Qt::QueuedConnection);
    }
};

MqttConnection::MqttConnection(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<MqttConnection::Ticket>();
}

MqttConnection::~MqttConnection()
{
    stop();
}

bool MqttConnection::running() const
{
    return m_thread != nullptr;
}

void MqttConnection::start(const MqttOptions& options)
{
    if (m_thread)
        return;
    // The library sets up OpenSSL, which a monitor without a broker never needs.
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });
    m_shared = std::make_shared<Shared>();
    m_shared->options = options;
    m_shared->owner = this;
    std::shared_ptr<Shared> shared = m_shared;
    m_thread = QThread::create([shared] { run(shared); });
    m_thread->start();
}

void MqttConnection::stop(const QString& goodbyeTopic, const QByteArray& goodbye, int waitMs)
{
    if (!m_thread)
        return;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stopping = true;
        m_shared->owner = nullptr;
        if (m_shared->mosq) {
            // QoS 0 goes out before the DISCONNECT that follows it, whatever is still in flight.
            if (m_shared->connected && !goodbyeTopic.isEmpty())
                mosquitto_publish(m_shared->mosq, nullptr, goodbyeTopic.toUtf8().constData(),
                                  int(goodbye.size()), goodbye.constData(), 0, true);
            mosquitto_disconnect(m_shared->mosq);
        }
    }
    m_shared->wake.notify_all();
    if (m_thread->wait(QDeadlineTimer(waitMs)))
        delete m_thread;
    else
        m_thread->setParent(nullptr); // ends with the process; it holds only the shared state
    m_thread = nullptr;
}

MqttConnection::Ticket MqttConnection::publish(const QString& topic, const QByteArray& payload,
                                               int qos, bool retain)
{
    if (!m_thread)
        return {};
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (!m_shared->mosq || !m_shared->connected || m_shared->stopping)
        return {};
    int mid = 0;
    const int rc = mosquitto_publish(m_shared->mosq, &mid, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return {};
    return {m_shared->generation, mid};
}

mosquitto* MqttConnection::newClient(Shared& s, QString* problem)
{
    const MqttOptions& o = s.options;
    mosquitto* m = mosquitto_new(o.clientId.toUtf8().constData(), !o.keepSession, &s);
    if (!m) {
        *problem = QStringLiteral("out of memory");
        return nullptr;
    }
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A call is a few hundred bytes that someone waits for: never held back to be merged
    // with the next packet while the broker delays its acknowledgement.
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    if (!o.willTopic.isEmpty())
        mosquitto_will_set(m, o.willTopic.toUtf8().constData(), int(o.willPayload.size()),
                           o.willPayload.constData(), 1, true);
    if (!o.username.isEmpty())
        mosquitto_username_pw_set(m, o.username.toUtf8().constData(),
                                  o.password.isEmpty() ? nullptr : o.password.toUtf8().constData());
    if (o.tls && !setUpTls(m, o, problem)) {
        mosquitto_destroy(m);
        return nullptr;
    }
    // The library says why a certificate was refused only in its log.
    mosquitto_log_callback_set(m, [](mosquitto*, void* data, int level, const char* text) {
        if (level != MOSQ_LOG_ERR)
            return;
        QString& said = static_cast<Shared*>(data)->lastLibraryError;
        said += (said.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromUtf8(text);
    });
    mosquitto_connect_callback_set(m, [](mosquitto* mosq, void* data, int rc) {
        auto* sh = static_cast<Shared*>(data);
        if (rc != 0) {
            const QString reason = QString::fromUtf8(mosquitto_connack_string(rc));
            sh->post([reason](MqttConnection& c) { emit c.failed(reason, true); });
            return;
        }
        for (const QString& topic : sh->options.subscriptions)
            mosquitto_subscribe(mosq, nullptr, topic.toUtf8().constData(), 1);
        sh->connected = true;
        const quint32 generation = sh->generation;
        sh->post([generation](MqttConnection& c) { emit c.connected(generation); });
    });
    mosquitto_publish_callback_set(m, [](mosquitto*, void* data, int mid) {
        auto* sh = static_cast<Shared*>(data);
        const Ticket ticket{sh->generation, mid};
        sh->post([ticket](MqttConnection& c) { emit c.delivered(ticket); });
    });
    mosquitto_message_callback_set(m, [](mosquitto*, void* data, const mosquitto_message* message) {
        auto* sh = static_cast<Shared*>(data);
        const QString topic = QString::fromUtf8(message->topic);
        const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
        sh->post([topic, payload](MqttConnection& c) { emit c.messageArrived(topic, payload); });
    });
    return m;
}

void MqttConnection::run(const std::shared_ptr<Shared>& shared)
{
    Shared& s = *shared;
    const MqttOptions& o = s.options;
    const QByteArray host = o.host.toUtf8();
    int retryMs = o.firstRetryMs;
    auto waitToRetry = [&] {
        const int delay = retryMs;
        s.post([delay](MqttConnection& c) { emit c.retrying(delay); });
        std::unique_lock<std::mutex> lock(s.mutex);
        s.wake.wait_for(lock, std::chrono::milliseconds(delay), [&] { return s.stopping; });
        retryMs = std::min(retryMs * 2, o.lastRetryMs);
        return !s.stopping;
    };

    do {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.stopping)
                break;
        }
        QString problem;
        mosquitto* m = newClient(s, &problem);
        if (!m) {
            s.post([problem](MqttConnection& c) { emit c.failed(problem, false); });
            continue;
        }
        errno = 0;
        s.lastLibraryError.clear();
        int rc = mosquitto_connect(m, host.constData(), o.port, keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            const QString reason = s.reasonFor(rc, errno);
            mosquitto_destroy(m);
            s.post([reason](MqttConnection& c) { emit c.failed(reason, false); });
            continue;
        }
        quint32 generation = 0;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            generation = ++s.generation;
            s.mosq = m;
            if (s.stopping)
                mosquitto_disconnect(m);
        }
        do {
            // Publishing and stopping wake the loop early; the wait only bounds the keep-alive.
            errno = 0;
            rc = mosquitto_loop(m, keepAliveSeconds * 1000 / 2, 1);
            if (s.connected)
                retryMs = o.firstRetryMs;
        } while (rc == MOSQ_ERR_SUCCESS);
        const int lostErrno = errno;
        const bool refused = rc == MOSQ_ERR_CONN_REFUSED;
        const bool wasConnected = s.connected.exchange(false);
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.mosq = nullptr;
        }
        mosquitto_destroy(m);
        if (wasConnected)
            s.post([generation](MqttConnection& c) { emit c.disconnected(generation); });
        if (!refused) {
            const QString reason = rc == MOSQ_ERR_ERRNO && lostErrno == 0
                                       ? describe(MOSQ_ERR_CONN_LOST, 0, o.host)
                                       : s.reasonFor(rc, lostErrno);
            s.post([reason](MqttConnection& c) { emit c.failed(reason, false); });
        }
    } while (waitToRetry());
}

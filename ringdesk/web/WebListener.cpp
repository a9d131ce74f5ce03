#include "web/WebListener.h"

#include "net/NetAddress.h"
#include "web/RequestReader.h"

#include <QNetworkInterface>
#include <QSslSocket>
#include <QTimer>

struct WebListener::Connection
{
    QTcpSocket* socket = nullptr;
    QHostAddress from;
    std::unique_ptr<RequestReader> reader;
    QTimer timer;       // the time left to send a request
    QByteArray pending; // read from the socket, not yet by the reader
    bool signedIn = false;
    bool busy = false; // a request is being answered; the next waits
    bool stream = false;
    QByteArray token;     // a live page's session
    quint64 streamed = 0; // when it became a live page, in the order they did
};

namespace {

constexpr qsizetype readChunk = 16 * 1024;

} // namespace

WebListener::WebListener(const WebLimits& limits, QObject* parent)
    : QTcpServer(parent), m_limits(limits)
{
}

WebListener::~WebListener()
{
    stop();
}

void WebListener::stop()
{
    close();
    const QList<Connection*> all = m_connections.values();
    for (Connection* connection : all)
        drop(connection);
}

bool WebListener::start(const QString& listen, const std::optional<TlsIdentity>& tls,
                        QString* problem)
{
    m_tls = tls;
    QHostAddress address;
    if (!NetAddress::listen(*this, listen, &address, problem))
        return false;
    m_ownAddresses = QNetworkInterface::allAddresses();
    m_ownAddresses << address;
    m_address = (m_tls ? QStringLiteral("https://") : QStringLiteral("http://")) +
                NetAddress::shown(address, serverPort()) + u'/';
    return true;
}

WebListener::Connection* WebListener::find(const Client& client) const
{
    return client ? m_connections.value(client.data()) : nullptr;
}

bool WebListener::connected(const Client& client) const
{
    return find(client) && client->state() == QAbstractSocket::ConnectedState;
}

QHostAddress WebListener::peer(const Client& client) const
{
    const Connection* connection = find(client);
    return connection ? connection->from : QHostAddress();
}

bool WebListener::signIn(const Client& client)
{
    Connection* connection = find(client);
    if (!connection)
        return false;
    if (!connection->signedIn) {
        int signedIn = 0;
        for (const Connection* other : std::as_const(m_connections))
            signedIn += other->signedIn ? 1 : 0;
        connection->signedIn = signedIn < m_limits.connectionsSignedIn;
        m_beforeLogIn.setCounted(connection->socket, !connection->signedIn);
    }
    return connection->signedIn;
}

void WebListener::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = NetAddress::plain(socket->peerAddress());
    // One address may not hold more; when all of them together would, the connection that has
    // waited longest makes room, so that a flood from many addresses keeps the household out
    // for no longer than it takes to connect. One whose request is being answered (a log-in
    // being checked) goes only when every other is too.
    const bool full = m_beforeLogIn.count() >= m_limits.connectionsBeforeLogIn;
    const void* oldest = nullptr;
    if (full) {
        oldest = m_beforeLogIn.oldest(nullptr, [this](const void* key) {
            const Connection* other =
                m_connections.value(static_cast<QTcpSocket*>(const_cast<void*>(key)));
            return other && !other->busy;
        });
        if (!oldest)
            oldest = m_beforeLogIn.oldest();
    }
    if (m_beforeLogIn.count(from) >= m_limits.connectionsPerAddress || (full && !oldest)) {
        socket->abort();
        delete socket;
        return;
    }
    if (oldest)
        drop(m_connections.value(static_cast<QTcpSocket*>(const_cast<void*>(oldest))));
    auto* connection = new Connection;
    connection->socket = socket;
    connection->from = from;
    connection->reader = std::make_unique<RequestReader>([this](const HttpRequest& request) {
        return bodyLimit ? bodyLimit(request) : m_limits.bodyBeforeLogIn;
    });
    m_connections.insert(socket, connection);
    m_beforeLogIn.add(socket, from);
    // Bytes beyond what the reader takes stay with the kernel, which slows the sender down.
    socket->setReadBufferSize(readChunk);
    connection->timer.setSingleShot(true);
    connect(&connection->timer, &QTimer::timeout, this, [this, connection] { drop(connection); });
    connection->timer.start(m_limits.requestSeconds * 1000);
    connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readRequests(connection); });
    // A client that reads its answers again gets its next requests read.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, connection] {
        if (!connection->busy && !connection->stream &&
            connection->socket->bytesToWrite() <= m_limits.unreadAnswers)
            readRequests(connection);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, connection] { drop(connection); });
    if (m_tls) {
        auto* tls = static_cast<QSslSocket*>(socket);
        tls->setLocalCertificate(m_tls->certificate);
        tls->setPrivateKey(m_tls->key);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(tls, &QSslSocket::encrypted, this,
                [this, connection] { readRequests(connection); });
        tls->startServerEncryption();
    }
}

void WebListener::drop(Connection* connection)
{
    if (!connection || !m_connections.remove(connection->socket))
        return;
    m_beforeLogIn.remove(connection->socket);
    connection->socket->disconnect(this);
    connection->socket->abort();
    connection->socket->deleteLater();
    delete connection;
}

void WebListener::readRequests(Connection* connection)
{
    // A client that sends requests and never reads the answers would have them all held here.
    while (!connection->busy && connection->socket->bytesToWrite() <= m_limits.unreadAnswers) {
        if (connection->pending.isEmpty())
            connection->pending = connection->socket->read(readChunk);
        if (connection->pending.isEmpty())
            return;
        RequestReader& reader = *connection->reader;
        const qsizetype used =
            reader.feed(connection->pending.constData(), connection->pending.size());
        connection->pending.remove(0, used);
        if (const int failure = reader.failure()) {
            connection->busy = true;
            write(connection,
                  WebReply::text(failure, WebReply::reason(failure), {{"Connection", "close"}}));
            return;
        }
        if (!reader.ready())
            continue;
        HttpRequest request = reader.take();
        request.remote = connection->from;
        connection->busy = true;
        const Client client(connection->socket);
        if (requestReady)
            requestReady(client, request);
        if (!find(client))
            return;
    }
}

qsizetype WebListener::answersUnread() const
{
    qsizetype unread = 0;
    for (const Connection* connection : m_connections)
        unread += connection->socket->bytesToWrite();
    return unread;
}

void WebListener::answer(const Client& client, const WebReply& reply)
{
    if (Connection* connection = find(client))
        write(connection, reply);
}

void WebListener::write(Connection* connection, const WebReply& reply)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' +
                     WebReply::reason(reply.status) + "\r\n";
    WebReply::Headers all{{"Content-Type", reply.type},
                          {"Content-Length", QByteArray::number(reply.body.size())},
                          {"Cache-Control", "no-store"},
                          {"X-Content-Type-Options", "nosniff"},
                          {"Referrer-Policy", "same-origin"},
                          {"Content-Security-Policy",
                           "default-src 'self'; frame-ancestors 'none'; form-action 'self'"}};
    all += reply.headers;
    bool close = !connection->reader->keepAlive() || connection->reader->failure() != 0;
    for (const auto& [key, value] : std::as_const(all)) {
        out += key + ": " + value + "\r\n";
        close = close || (key == "Connection" && value == "close");
    }
    connection->socket->write(out + "\r\n" + reply.body);
    if (close) {
        connection->socket->disconnectFromHost();
        return;
    }
    connection->busy = false;
    connection->timer.start(m_limits.requestSeconds * 1000);
    // Requests that came meanwhile (pipelined) are read on the next turn of the event loop.
    if (!connection->pending.isEmpty() || connection->socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            this,
            [this, client = Client(connection->socket)] {
                if (Connection* c = find(client))
                    readRequests(c);
            },
            Qt::QueuedConnection);
}

void WebListener::startStream(const Client& client, const QByteArray& token)
{
    Connection* connection = find(client);
    if (!connection)
        return;
    connection->timer.stop();
    // A live page leaves the places of requests, before log-in and signed in, to others.
    m_beforeLogIn.remove(connection->socket);
    connection->signedIn = false;
    Connection* oldest = nullptr;
    Connection* oldestOfSession = nullptr;
    int streams = 0;
    int ofSession = 0;
    for (Connection* other : std::as_const(m_connections)) {
        if (!other->stream)
            continue;
        ++streams;
        if (!oldest || other->streamed < oldest->streamed)
            oldest = other;
        if (other->token != token)
            continue;
        ++ofSession;
        if (!oldestOfSession || other->streamed < oldestOfSession->streamed)
            oldestOfSession = other;
    }
    if (ofSession >= m_limits.streamsPerSession)
        drop(oldestOfSession);
    else if (streams >= m_limits.streams)
        drop(oldest);
    connection->stream = true;
    connection->token = token;
    connection->streamed = ++m_streamsStarted;
    connection->socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n\r\n: the calls as they are logged\n\n");
}

bool WebListener::push(const QByteArray& message)
{
    const QList<Connection*> all = m_connections.values();
    bool any = false;
    for (Connection* connection : all) {
        if (!connection->stream)
            continue;
        // A page that does not read would have us hold every call for it.
        if (connection->socket->bytesToWrite() + message.size() > m_limits.streamBuffer) {
            drop(connection);
            continue;
        }
        connection->socket->write(message);
        any = true;
    }
    return any;
}

void WebListener::endStreams(const std::function<bool(const QByteArray& token)>& ended)
{
    const QList<Connection*> all = m_connections.values();
    for (Connection* connection : all)
        if (connection->stream && ended(connection->token))
            drop(connection);
}

#pragma once

#include "net/ConnectionBook.h"
#include "web/HttpRequest.h"
#include "web/TlsIdentity.h"
#include "web/WebLimits.h"
#include "web/WebReply.h"

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <optional>

// The web page's transport: connections and their limits, TLS, reading requests one at a time
// (pipelined ones wait their turn) and writing the answers and the live streams. What a request
// asks is for others to decide; a connection is known to them by its socket.
class WebListener : public QTcpServer
{
    Q_OBJECT
public:
    using Client = QPointer<QTcpSocket>;

    explicit WebListener(const WebLimits& limits, QObject* parent = nullptr);
    ~WebListener() override;

    // Listens on "HOST:PORT", over TLS with an identity. False, and why, when it cannot.
    bool start(const QString& listen, const std::optional<TlsIdentity>& tls, QString* problem);
    bool tls() const { return m_tls.has_value(); }
    // The address listened on, as the page's link shows it.
    QString address() const { return m_address; }
    // The machine's own addresses and the one listened on.
    const QList<QHostAddress>& ownAddresses() const { return m_ownAddresses; }
    void stop();

    // How large a request's body may be, from its header fields.
    std::function<qsizetype(const HttpRequest&)> bodyLimit;
    // A whole request; answer() follows, now or later.
    std::function<void(const Client&, const HttpRequest&)> requestReady;

    void answer(const Client& client, const WebReply& reply);
    // Whether the client is still there to be answered.
    bool connected(const Client& client) const;
    QHostAddress peer(const Client& client) const;
    // A client with a session takes one of the places signed in, while there is one; it no
    // longer counts against the limits before log-in.
    bool signIn(const Client& client);

    // The client is the page's live stream from now on, for `token`'s session.
    void startStream(const Client& client, const QByteArray& token);
    // Writes to every stream; one that does not read is dropped. False when there is none.
    bool push(const QByteArray& message);
    void endStreams(const std::function<bool(const QByteArray& token)>& ended);

    // Bytes of answers written and not yet taken by their clients, over all connections.
    qsizetype answersUnread() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection;
    void readRequests(Connection* connection);
    void write(Connection* connection, const WebReply& reply);
    void drop(Connection* connection);
    Connection* find(const Client& client) const;

    const WebLimits& m_limits;
    std::optional<TlsIdentity> m_tls;
    QString m_address;
    QList<QHostAddress> m_ownAddresses;
    QHash<QTcpSocket*, Connection*> m_connections;
    ConnectionBook m_beforeLogIn;
    quint64 m_streamsStarted = 0;
};

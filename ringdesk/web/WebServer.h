#pragma once

#include "calls/CallHistory.h"
#include "calls/CallScreen.h"
#include "web/HttpRequest.h"
#include "web/LoginGate.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <memory>

class QTcpSocket;

// The household's web page and its API, served on the event loop. Every page and API call
// wants a session, which a log-in with the password gives (a cookie, HttpOnly, SameSite=Strict,
// Secure under TLS); a session ends after twelve hours unused. A request that changes anything
// must come from the page itself, and every request must name this machine in Host.
//
// What a stranger can make it hold is bounded: connections before log-in in all and per
// address, ten seconds to send a request, the size of the header fields and of a body (refused
// before it is read), password checks per address (see LoginGate) and the bytes waiting for a
// live page that does not read.
class WebServer : public QTcpServer
{
    Q_OBJECT
public:
    struct Limits
    {
        int connectionsBeforeLogIn = 128;
        int connectionsPerAddress = 16; // before log-in
        int connectionsSignedIn = 64;
        int requestSeconds = 10;
        qsizetype bodyBeforeLogIn = 1024;
        qsizetype bodySignedIn = 64 * 1024;
        qsizetype streamBuffer = 256 * 1024;
        int sessionHours = 12;
    };

    WebServer(CallScreen& screen, CallHistory& history, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens on "HOST:PORT" (port 0: any free one) with the password's hash; with a certificate
    // and its key, over TLS. `hosts` are further names the page may be asked for by. False, and
    // why, when it cannot.
    bool start(const QString& listen, const QString& passwordHash, const QString& certFile,
               const QString& keyFile, const QStringList& hosts, QString* problem);
    QString address() const { return m_address; }
    const Limits& limits() const { return m_limits; }
    // Tests shrink the limits and move the clock.
    void setLimits(const Limits& limits) { m_limits = limits; }
    std::function<QDateTime()> now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    LoginGate& loginGate() { return m_gate; }

    // The monitor's state for the page: modem port, caller ID on, broker, last event lines.
    std::function<QJsonObject()> state;

    void callLogged(const CallRecord& call);
    void eventAdded(const QString& line);
    // Ends every connection and drops the password checks waiting.
    void stop();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection;
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    void readRequests(Connection* connection);
    void handle(Connection* connection, const HttpRequest& request);
    void reply(Connection* connection, int status, const QByteArray& type, const QByteArray& body,
               const Headers& headers = {});
    void replyJson(Connection* connection, int status, const QJsonObject& object);
    void drop(Connection* connection);
    int countBeforeLogIn(const QHostAddress* from = nullptr) const;
    bool knownHost(const QByteArray& host) const;
    // The session's token when the request carries a live one.
    QByteArray session(const HttpRequest& request);
    bool fromThePage(const HttpRequest& request) const;
    void logIn(Connection* connection, const HttpRequest& request);
    void logOut(Connection* connection, const HttpRequest& request);
    void serveCalls(Connection* connection, const HttpRequest& request);
    void serveCsv(Connection* connection);
    void serveStats(Connection* connection, const HttpRequest& request);
    // `fresh`: read the lists again first (once for a page of calls is enough).
    QJsonObject callJson(const CallRecord& call, bool fresh = true);
    void serveList(Connection* connection, const HttpRequest& request, CallScreen::List list);
    void serveSources(Connection* connection, const HttpRequest& request);
    void blockOrUnblock(Connection* connection, const HttpRequest& request, bool block);
    void openStream(Connection* connection, const QByteArray& token);
    void push(const QByteArray& event, const QByteArray& data);
    void endStreams(const std::function<bool(const QByteArray& token)>& ended);

    CallScreen& m_screen;
    CallHistory& m_history;
    LoginGate m_gate;
    Limits m_limits;
    QString m_passwordHash;
    QString m_address;
    bool m_tls = false;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QSet<QString> m_hosts;                   // names, in lower case
    QList<QHostAddress> m_ownAddresses;      // the machine's and the one listened on
    QHash<QByteArray, QDateTime> m_sessions; // token and when it ends unless used
    QHash<QTcpSocket*, Connection*> m_connections;
    quint64 m_serial = 0;
    QTimer m_sessionCheck; // ends the live pages of sessions that expired
};

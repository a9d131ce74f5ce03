#pragma once

#include "calls/CallScreen.h"
#include "web/CallHistory.h"

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QPointer>
#include <functional>

class QTcpSocket;

// The household's web page and its API, served on the event loop. Every page and API call
// wants a session, which a log-in with the password gives (a cookie, HttpOnly and
// SameSite=Strict); after five wrong passwords from one address, further tries are refused for a
// quarter of an hour. A request that changes anything must come from the page itself. The
// calls come in through callLogged(), and go out live to every open page (server-sent events).
class WebServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit WebServer(CallScreen& screen, QObject* parent = nullptr);

    // Listens on "HOST:PORT" (port 0: any free one) with the password's hash; with a certificate
    // and key, over TLS. False, and why, when it cannot.
    bool start(const QString& listen, const QString& passwordHash, const QString& certFile,
               const QString& keyFile, QString* problem);
    QString address() const { return m_address; }

    CallHistory& history() { return m_history; }
    // The monitor's state for the page: modem port, caller ID on, broker, last event lines.
    std::function<QJsonObject()> state;

    void callLogged(const CallRecord& call);
    void eventAdded(const QString& line);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    void reply(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
               const Headers& headers = {});
    void replyJson(QTcpSocket* socket, int status, const QJsonObject& object);
    bool signedIn(const QHttpServerRequest& request);
    bool fromThePage(const QHttpServerRequest& request) const;
    void logIn(const QHttpServerRequest& request, QTcpSocket* socket);
    void serveList(const QHttpServerRequest& request, QTcpSocket* socket, CallScreen::List list);
    void openStream(QTcpSocket* socket);
    void push(const QByteArray& event, const QByteArray& data);

    CallScreen& m_screen;
    CallHistory m_history;
    QString m_passwordHash;
    QString m_address;
    bool m_tls = false;
    QHash<QByteArray, QDateTime> m_sessions; // token and when it ends
    struct Failures
    {
        int count = 0;
        QDateTime last;
    };
    QHash<QString, Failures> m_failures; // by remote address
    QList<QPointer<QTcpSocket>> m_streams;
};

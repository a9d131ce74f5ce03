#pragma once

#include "web/EventStream.h"
#include "web/LoginGate.h"
#include "web/WebListener.h"
#include "web/WebRoutes.h"
#include "web/WebSessions.h"

#include <QObject>
#include <QSet>

// What every request of the page goes through before a part answers it: Host must name this
// machine (DNS rebinding), a change must come from the page itself, the log-in and its pages
// need no session and everything else does. Log-in, log-out and the live stream are answered
// here; the rest by the routes' parts.
class WebApp : public QObject
{
    Q_OBJECT
public:
    WebApp(WebListener& listener, const WebLimits& limits, QObject* parent = nullptr);

    // The password's hash, and the further names the page may be asked for by.
    void setPassword(const QString& hash) { m_passwordHash = hash; }
    void setHosts(const QStringList& hosts);

    WebRoutes& routes() { return m_routes; }
    WebSessions& sessions() { return m_sessions; }
    EventStream& stream() { return m_stream; }
    LoginGate& loginGate() { return m_gate; }
    void stop() { m_gate.stop(); }

private:
    void handle(const WebListener::Client& client, const HttpRequest& request);
    bool knownHost(const QByteArray& host) const;
    bool fromThePage(const HttpRequest& request) const;
    void logIn(const WebListener::Client& client, const HttpRequest& request);
    WebReply logOut(const HttpRequest& request);

    WebListener& m_listener;
    const WebLimits& m_limits;
    WebSessions m_sessions;
    EventStream m_stream;
    LoginGate m_gate;
    WebRoutes m_routes;
    QString m_passwordHash;
    QSet<QString> m_hosts; // names, in lower case
};

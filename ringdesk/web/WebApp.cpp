#include "web/WebApp.h"

#include "net/NetAddress.h"

#include <QFile>
#include <QHostInfo>

namespace {

const QByteArray cookieName = "ringdesk_session";

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

WebReply page(const QString& path)
{
    const QByteArray type = path.endsWith(QLatin1String(".js"))    ? "text/javascript"
                            : path.endsWith(QLatin1String(".css")) ? "text/css"
                                                                   : "text/html; charset=utf-8";
    WebReply reply =
        WebReply::text(200, resource(path == QLatin1String("/login") ? QStringLiteral("login.html")
                                     : path == QLatin1String("/")    ? QStringLiteral("index.html")
                                                                     : path.mid(1)));
    reply.type = type;
    return reply;
}

} // namespace

WebApp::WebApp(WebListener& listener, const WebLimits& limits, QObject* parent)
    : QObject(parent), m_listener(listener), m_limits(limits), m_stream(listener, m_sessions)
{
    listener.bodyLimit = [this](const HttpRequest& request) {
        return m_sessions.use(request.cookie(cookieName)) ? m_limits.bodySignedIn
                                                          : m_limits.bodyBeforeLogIn;
    };
    listener.requestReady = [this](const WebListener::Client& client, const HttpRequest& request) {
        handle(client, request);
    };
}

void WebApp::setHosts(const QStringList& hosts)
{
    m_hosts = {QStringLiteral("localhost"), QHostInfo::localHostName().toLower(),
               QHostInfo::localHostName().toLower() + QStringLiteral(".local")};
    if (!QHostInfo::localDomainName().isEmpty())
        m_hosts << (QHostInfo::localHostName() + u'.' + QHostInfo::localDomainName()).toLower();
    for (const QString& name : hosts)
        if (!name.trimmed().isEmpty())
            m_hosts << name.trimmed().toLower();
}

bool WebApp::knownHost(const QByteArray& hostField) const
{
    QString host = QString::fromLatin1(hostField).trimmed().toLower();
    if (host.startsWith(u'[')) {
        host = host.mid(1, host.indexOf(u']') - 1);
    } else if (host.count(u':') == 1) {
        host = host.section(u':', 0, 0);
    }
    if (host.endsWith(u'.'))
        host.chop(1);
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        for (const QHostAddress& own : m_listener.ownAddresses())
            if (NetAddress::plain(own).isEqual(NetAddress::plain(literal)))
                return true;
        return literal.isLoopback() || m_hosts.contains(host);
    }
    return m_hosts.contains(host);
}

bool WebApp::fromThePage(const HttpRequest& request) const
{
    // A browser says where a request comes from; a form on another site cannot hide it.
    const QByteArray site = request.header("sec-fetch-site");
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return false;
    const QByteArray origin = request.header("origin");
    if (origin.isEmpty())
        return true; // not a browser's cross-site request
    return origin == (m_listener.tls() ? "https://" : "http://") + request.header("host");
}

void WebApp::handle(const WebListener::Client& client, const HttpRequest& request)
{
    auto answer = [this, &client](const WebReply& reply) {
        m_listener.answer(client, reply);
    };
    const QString& path = request.path;
    const QByteArray& method = request.method;
    const QByteArray host = request.header("host");
    if (host.isEmpty())
        return answer(WebReply::text(400, "Host missing"));
    // A name this machine does not answer to is how a page elsewhere would reach in.
    if (!knownHost(host))
        return answer(
            WebReply::text(421, "This page does not answer to that name; add it to [Web] Hosts."));
    const bool changes = method == "POST" || method == "DELETE";
    if (changes && !fromThePage(request))
        return answer(WebReply::failure(WebReply::Failure::NotFromThisPage,
                                        QStringLiteral("not from this page")));
    if (path == QLatin1String("/login") && method == "POST")
        return logIn(client, request);
    // The page's own files; the charting library is shipped with them, so no request leaves
    // the house.
    if (method == "GET" &&
        (path == QLatin1String("/login") || path == QLatin1String("/app.js") ||
         path == QLatin1String("/style.css") || path == QLatin1String("/uplot/uPlot.iife.min.js") ||
         path == QLatin1String("/uplot/uPlot.min.css")))
        return answer(page(path));
    const QByteArray token = request.cookie(cookieName);
    const bool live = m_sessions.use(token);
    if (live)
        m_listener.signIn(client);
    if (path == QLatin1String("/") && method == "GET")
        return answer(live ? page(path) : WebReply::redirect("/login"));
    if (!path.startsWith(QLatin1String("/api/")) && path != QLatin1String("/logout"))
        return answer(WebReply::failure(WebReply::Failure::NotFound));
    if (!live)
        return answer(
            WebReply::failure(WebReply::Failure::LogInFirst, QStringLiteral("log in first")));
    if (path == QLatin1String("/logout") && method == "POST")
        return answer(logOut(request));
    if (path == QLatin1String("/api/events") && method == "GET")
        return m_stream.open(client, token);
    m_routes.answer(request,
                    [this, client](const WebReply& reply) { m_listener.answer(client, reply); });
}

void WebApp::logIn(const WebListener::Client& client, const HttpRequest& request)
{
    const QString password = HttpRequest::formValue(request.body, QStringLiteral("password"));
    auto stillWanted = [this, client] {
        return m_listener.connected(client);
    };
    auto done = [this, client](bool right) {
        if (!right) {
            m_listener.answer(client, WebReply::redirect("/login?wrong"));
            return;
        }
        QByteArray cookie =
            cookieName + '=' + m_sessions.open() + "; Path=/; HttpOnly; SameSite=Strict";
        if (m_listener.tls())
            cookie += "; Secure";
        m_listener.answer(client, WebReply::redirect("/", {{"Set-Cookie", cookie}}));
    };
    const QHostAddress from = m_listener.peer(client);
    if (!m_gate.submit(from, password, m_passwordHash, stillWanted, done))
        m_listener.answer(
            client, WebReply::text(429, "Too many wrong passwords: try again later.",
                                   {{"Retry-After", QByteArray::number(m_gate.retryAfter(from))}}));
}

WebReply WebApp::logOut(const HttpRequest& request)
{
    m_sessions.close(request.cookie(cookieName));
    return WebReply::redirect("/login", {{"Set-Cookie", cookieName + "=; Max-Age=0; Path=/"}});
}

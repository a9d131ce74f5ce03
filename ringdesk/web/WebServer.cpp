#include "web/WebServer.h"

#include "common/CleanText.h"
#include "common/PasswordHash.h"

#include <QFile>
#include <QFutureWatcher>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QByteArray cookieName = "ringdesk_session";
constexpr int sessionHours = 12;
constexpr int allowedFailures = 5;
constexpr int lockoutMinutes = 15;

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    default:
        return "Error";
    }
}

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

WebServer::WebServer(CallScreen& screen, QObject* parent)
    : QAbstractHttpServer(parent), m_screen(screen)
{
}

bool WebServer::start(const QString& listen, const QString& passwordHash, const QString& certFile,
                      const QString& keyFile, QString* problem)
{
    const qsizetype colon = listen.lastIndexOf(u':');
    bool portOk = false;
    const int port = listen.mid(colon + 1).toInt(&portOk);
    QString host = listen.left(colon).trimmed();
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host.isEmpty() ? QStringLiteral("0.0.0.0") : host);
    if (colon < 0 || !portOk || port < 0 || port > 65535 || address.isNull()) {
        *problem = QStringLiteral("Listen holds \"%1\", not HOST:PORT").arg(listen);
        return false;
    }
    if (!certFile.isEmpty() || !keyFile.isEmpty()) {
        QFile cert(certFile);
        QFile key(keyFile);
        const QSslCertificate certificate(cert.open(QIODevice::ReadOnly) ? cert.readAll() : "");
        const QSslKey privateKey(key.open(QIODevice::ReadOnly) ? key.readAll() : "", QSsl::Rsa);
        const QSslKey ecKey(key.reset() ? key.readAll() : "", QSsl::Ec);
        if (certificate.isNull() || (privateKey.isNull() && ecKey.isNull())) {
            *problem = QStringLiteral("the certificate %1 or the key %2 cannot be read")
                           .arg(certFile, keyFile);
            return false;
        }
        sslSetup(certificate, privateKey.isNull() ? ecKey : privateKey);
        m_tls = true;
    }
    const quint16 bound = this->listen(address, quint16(port));
    if (bound == 0) {
        *problem = QStringLiteral("cannot listen on %1").arg(listen);
        return false;
    }
    m_passwordHash = passwordHash;
    const QString shown = address.protocol() == QAbstractSocket::IPv6Protocol
                              ? u'[' + address.toString() + u']'
                              : address.toString();
    m_address = (m_tls ? QStringLiteral("https://") : QStringLiteral("http://")) + shown + u':' +
                QString::number(bound) + u'/';
    return true;
}

void WebServer::reply(QTcpSocket* socket, int status, const QByteArray& type,
                      const QByteArray& body, const Headers& headers)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    Headers all{{"Content-Type", type},
                {"Content-Length", QByteArray::number(body.size())},
                {"Cache-Control", "no-store"},
                {"X-Content-Type-Options", "nosniff"},
                {"Referrer-Policy", "same-origin"},
                {"Content-Security-Policy",
                 "default-src 'self'; frame-ancestors 'none'; form-action 'self'"}};
    all += headers;
    for (const auto& [key, value] : std::as_const(all))
        out += key + ": " + value + "\r\n";
    socket->write(out + "\r\n" + body);
}

void WebServer::replyJson(QTcpSocket* socket, int status, const QJsonObject& object)
{
    reply(socket, status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool WebServer::signedIn(const QHttpServerRequest& request)
{
    for (const QByteArray& cookie : request.value("Cookie").split(';')) {
        const QByteArray pair = cookie.trimmed();
        if (!pair.startsWith(cookieName + '='))
            continue;
        const QByteArray token = pair.mid(cookieName.size() + 1);
        const auto session = m_sessions.find(token);
        if (session == m_sessions.end())
            continue;
        if (*session < QDateTime::currentDateTimeUtc()) {
            m_sessions.erase(session);
            continue;
        }
        *session = QDateTime::currentDateTimeUtc().addSecs(sessionHours * 3600);
        return true;
    }
    return false;
}

bool WebServer::fromThePage(const QHttpServerRequest& request) const
{
    // A browser says where a request comes from; a form on another site cannot hide it.
    const QByteArray site = request.value("Sec-Fetch-Site");
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return false;
    const QByteArray origin = request.value("Origin");
    if (origin.isEmpty())
        return true; // not a browser's cross-site request
    const QByteArray host = request.value("Host");
    return origin == (m_tls ? "https://" : "http://") + host;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    using Method = QHttpServerRequest::Method;
    const QString path = request.url().path();
    const Method method = request.method();
    const bool changes = method == Method::Post || method == Method::Delete;
    if (changes && !fromThePage(request)) {
        replyJson(socket, 403, {{QStringLiteral("error"), QStringLiteral("not from this page")}});
        return true;
    }
    if (path == QLatin1String("/login") && method == Method::Post) {
        logIn(request, socket);
        return true;
    }
    if (method == Method::Get &&
        (path == QLatin1String("/login") || path == QLatin1String("/app.js") ||
         path == QLatin1String("/style.css"))) {
        const QByteArray type = path.endsWith(QLatin1String(".js"))    ? "text/javascript"
                                : path.endsWith(QLatin1String(".css")) ? "text/css"
                                                                       : "text/html; charset=utf-8";
        reply(socket, 200, type,
              resource(path == QLatin1String("/login") ? "login.html" : path.mid(1)));
        return true;
    }
    const bool in = signedIn(request);
    if (path == QLatin1String("/") && method == Method::Get) {
        if (in)
            reply(socket, 200, "text/html; charset=utf-8", resource(QStringLiteral("index.html")));
        else
            reply(socket, 303, "text/plain", QByteArray(), {{"Location", "/login"}});
        return true;
    }
    if (!path.startsWith(QLatin1String("/api/")) && path != QLatin1String("/logout"))
        return false;
    if (!in) {
        replyJson(socket, 401, {{QStringLiteral("error"), QStringLiteral("log in first")}});
        return true;
    }
    if (path == QLatin1String("/logout") && method == Method::Post) {
        for (const QByteArray& cookie : request.value("Cookie").split(';'))
            m_sessions.remove(cookie.trimmed().mid(cookieName.size() + 1));
        reply(socket, 303, "text/plain", QByteArray(),
              {{"Location", "/login"}, {"Set-Cookie", cookieName + "=; Max-Age=0; Path=/"}});
    } else if (path == QLatin1String("/api/calls") && method == Method::Get) {
        // Forms and URLSearchParams write a blank as "+", which QUrlQuery keeps as it is.
        const QUrlQuery query(
            request.url().query(QUrl::FullyEncoded).replace(u'+', QStringLiteral("%20")));
        const QString asked = query.queryItemValue(QStringLiteral("limit"));
        const int limit = asked.isEmpty() ? 50 : std::clamp(asked.toInt(), 1, 500);
        QJsonArray calls;
        for (const CallHistory::Call& call :
             m_history.page(limit, query.queryItemValue(QStringLiteral("before")).toLongLong(),
                            query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded)))
            calls.append(call.toJson());
        replyJson(socket, 200, {{QStringLiteral("calls"), calls}});
    } else if (path == QLatin1String("/api/state") && method == Method::Get) {
        replyJson(socket, 200, state ? state() : QJsonObject());
    } else if (path == QLatin1String("/api/events") && method == Method::Get) {
        openStream(socket);
    } else if (path == QLatin1String("/api/blocked")) {
        serveList(request, socket, CallScreen::List::Blocked);
    } else if (path == QLatin1String("/api/allowed")) {
        serveList(request, socket, CallScreen::List::Allowed);
    } else {
        return false;
    }
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    reply(socket, 404, "text/plain", "Not found");
}

void WebServer::logIn(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString from = request.remoteAddress().toString();
    Failures& failures = m_failures[from];
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (failures.count >= allowedFailures && failures.last.addSecs(lockoutMinutes * 60) > now) {
        reply(socket, 429, "text/plain", "Too many wrong passwords: try again later.",
              {{"Retry-After", QByteArray::number(lockoutMinutes * 60)}});
        return;
    }
    const QString password = QUrlQuery(QString::fromUtf8(request.body()).replace(u'+', u' '))
                                 .queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    // The hash takes its time on purpose: off the event loop, so calls never wait for it.
    auto* watcher = new QFutureWatcher<bool>(this);
    QPointer<QTcpSocket> client(socket);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher, client, from] {
        watcher->deleteLater();
        const bool right = watcher->result();
        Failures& failures = m_failures[from];
        if (!right) {
            ++failures.count;
            failures.last = QDateTime::currentDateTimeUtc();
        } else {
            m_failures.remove(from);
        }
        if (!client)
            return;
        if (!right) {
            reply(client, 303, "text/plain", QByteArray(), {{"Location", "/login?wrong"}});
            return;
        }
        const QByteArray token = PasswordHash::randomBytes(32).toBase64(
            QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        m_sessions.insert(token, QDateTime::currentDateTimeUtc().addSecs(sessionHours * 3600));
        QByteArray cookie = cookieName + '=' + token + "; Path=/; HttpOnly; SameSite=Strict";
        if (m_tls)
            cookie += "; Secure";
        reply(client, 303, "text/plain", QByteArray(), {{"Location", "/"}, {"Set-Cookie", cookie}});
    });
    const QString hash = m_passwordHash;
    watcher->setFuture(
        QtConcurrent::run([password, hash] { return PasswordHash::matches(password, hash); }));
}

void WebServer::serveList(const QHttpServerRequest& request, QTcpSocket* socket,
                          CallScreen::List list)
{
    using Method = QHttpServerRequest::Method;
    QString error;
    bool ok = true;
    if (request.method() == Method::Post || request.method() == Method::Delete) {
        const QString entry = QJsonDocument::fromJson(request.body())
                                  .object()
                                  .value(QStringLiteral("entry"))
                                  .toString();
        ok = request.method() == Method::Post ? m_screen.addEntry(list, entry, &error)
                                              : m_screen.removeEntry(list, entry, &error);
    } else if (request.method() != Method::Get) {
        reply(socket, 404, "text/plain", "Not found");
        return;
    }
    if (!ok) {
        replyJson(socket, 400, {{QStringLiteral("error"), error}});
        return;
    }
    replyJson(socket, 200,
              {{QStringLiteral("entries"), QJsonArray::fromStringList(m_screen.entries(list))}});
}

void WebServer::openStream(QTcpSocket* socket)
{
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n\r\n: the calls as they are logged\n\n");
    m_streams.removeAll(nullptr);
    m_streams.append(socket);
}

void WebServer::push(const QByteArray& event, const QByteArray& data)
{
    const QByteArray message = "event: " + event + "\ndata: " + data + "\n\n";
    m_streams.removeAll(nullptr);
    for (const QPointer<QTcpSocket>& stream : std::as_const(m_streams))
        stream->write(message);
}

void WebServer::callLogged(const CallRecord& call)
{
    const CallHistory::Call& added = m_history.add(call);
    push("call", QJsonDocument(added.toJson()).toJson(QJsonDocument::Compact));
}

void WebServer::eventAdded(const QString& line)
{
    push("event", QJsonDocument(QJsonArray{CleanText::field(line)}).toJson(QJsonDocument::Compact));
}

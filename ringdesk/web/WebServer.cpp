#include "web/WebServer.h"

#include "net/NetAddress.h"

#include "common/CleanText.h"
#include "common/FileLimit.h"
#include "common/PasswordHash.h"
#include "web/RequestReader.h"

#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>

#include <openssl/pem.h>
#include <openssl/x509.h>

struct WebServer::Connection
{
    QTcpSocket* socket = nullptr;
    QHostAddress from;
    std::unique_ptr<RequestReader> reader;
    QTimer timer;       // the time left to send a request
    QByteArray pending; // read from the socket, not yet by the reader
    bool signedIn = false;
    bool busy = false; // a request is being answered; the next waits
    bool stream = false;
    QByteArray token;   // a live page's session
    quint64 serial = 0; // in the order they came
};

namespace {

const QByteArray cookieName = "ringdesk_session";
constexpr qsizetype readChunk = 16 * 1024;

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
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    default:
        return "Error";
    }
}

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QHostAddress plain(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : address;
}

// Whether the key is the certificate's: a mismatch would fail every handshake without a word.
bool keyFits(const QSslCertificate& certificate, const QSslKey& key)
{
    const QByteArray certPem = certificate.toPem();
    const QByteArray keyPem = key.toPem();
    BIO* certBio = BIO_new_mem_buf(certPem.constData(), int(certPem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    X509* x509 = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY* pkey = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
    const bool fits = x509 && pkey && X509_check_private_key(x509, pkey) == 1;
    EVP_PKEY_free(pkey);
    X509_free(x509);
    BIO_free(keyBio);
    BIO_free(certBio);
    return fits;
}

} // namespace

WebServer::WebServer(CallScreen& screen, CallHistory& history, QObject* parent)
    : QTcpServer(parent), m_screen(screen), m_history(history)
{
    m_sessionCheck.setInterval(60 * 1000);
    connect(&m_sessionCheck, &QTimer::timeout, this, [this] {
        const QDateTime time = now();
        m_sessions.removeIf([&](const auto& session) { return session.value() < time; });
        endStreams([this](const QByteArray& token) { return !m_sessions.contains(token); });
    });
}

WebServer::~WebServer()
{
    stop();
}

void WebServer::stop()
{
    m_gate.stop();
    close();
    const QList<Connection*> all = m_connections.values();
    for (Connection* connection : all)
        drop(connection);
}

bool WebServer::start(const QString& listen, const QString& passwordHash, const QString& certFile,
                      const QString& keyFile, const QStringList& hosts, QString* problem)
{
    QHostAddress address;
    quint16 port = 0;
    if (!NetAddress::parseListen(listen, &address, &port)) {
        *problem = QStringLiteral("Listen holds \"%1\", not HOST:PORT").arg(listen);
        return false;
    }
    if (!certFile.isEmpty() || !keyFile.isEmpty()) {
        QFile cert(certFile);
        QFile key(keyFile);
        const QSslCertificate certificate(cert.open(QIODevice::ReadOnly) ? cert.readAll() : "");
        const QByteArray keyBytes = key.open(QIODevice::ReadOnly) ? key.readAll() : "";
        QSslKey privateKey(keyBytes, QSsl::Rsa);
        if (privateKey.isNull())
            privateKey = QSslKey(keyBytes, QSsl::Ec);
        if (certificate.isNull() || privateKey.isNull()) {
            *problem = QStringLiteral("the certificate %1 or the key %2 cannot be read")
                           .arg(certFile, keyFile);
            return false;
        }
        if (!keyFits(certificate, privateKey)) {
            *problem = QStringLiteral("the key %1 does not belong to the certificate %2")
                           .arg(keyFile, certFile);
            return false;
        }
        m_certificate = certificate;
        m_key = privateKey;
        m_tls = true;
    }
    // Whatever the limits say, the server leaves the process most of its files: a reserve of
    // 256 and half of the rest for the modem, the logs, the address book and the broker.
    if (const long files = FileLimit::current(); files > 0) {
        const int budget = std::max(8, int((files - 256) / 2));
        m_limits.connectionsSignedIn = std::min(m_limits.connectionsSignedIn, budget / 3);
        m_limits.connectionsBeforeLogIn =
            std::min(m_limits.connectionsBeforeLogIn, budget - m_limits.connectionsSignedIn);
    }
    if (!QTcpServer::listen(address, port)) {
        *problem = QStringLiteral("cannot listen on %1: %2").arg(listen, errorString());
        return false;
    }
    m_passwordHash = passwordHash;
    m_ownAddresses = QNetworkInterface::allAddresses();
    m_ownAddresses << address;
    m_hosts = {QStringLiteral("localhost"), QHostInfo::localHostName().toLower(),
               QHostInfo::localHostName().toLower() + QStringLiteral(".local")};
    if (!QHostInfo::localDomainName().isEmpty())
        m_hosts << (QHostInfo::localHostName() + u'.' + QHostInfo::localDomainName()).toLower();
    for (const QString& name : hosts)
        if (!name.trimmed().isEmpty())
            m_hosts << name.trimmed().toLower();
    m_address = (m_tls ? QStringLiteral("https://") : QStringLiteral("http://")) +
                NetAddress::shown(address, serverPort()) + u'/';
    return true;
}

int WebServer::countBeforeLogIn(const QHostAddress* from) const
{
    int count = 0;
    for (const Connection* connection : m_connections)
        if (!connection->signedIn && (!from || connection->from == *from))
            ++count;
    return count;
}

void WebServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = plain(socket->peerAddress());
    // One address may not hold more; when all of them together would, the connection that has
    // waited longest makes room, so that a flood from many addresses
    // keeps the household out for no longer than it takes to connect.
    Connection* oldest = nullptr;
    if (countBeforeLogIn() >= m_limits.connectionsBeforeLogIn)
        for (Connection* other : std::as_const(m_connections))
            if (!other->signedIn && (!oldest || other->serial < oldest->serial))
                oldest = other;
    if (countBeforeLogIn(&from) >= m_limits.connectionsPerAddress ||
        (countBeforeLogIn() >= m_limits.connectionsBeforeLogIn && !oldest)) {
        socket->abort();
        delete socket;
        return;
    }
    if (oldest)
        drop(oldest);
    auto* connection = new Connection;
    connection->serial = ++m_serial;
    connection->socket = socket;
    connection->from = from;
    connection->reader = std::make_unique<RequestReader>([this](const HttpRequest& request) {
        return session(request).isEmpty() ? m_limits.bodyBeforeLogIn : m_limits.bodySignedIn;
    });
    m_connections.insert(socket, connection);
    // Bytes beyond what the reader takes stay with the kernel, which slows the sender down.
    socket->setReadBufferSize(readChunk);
    connection->timer.setSingleShot(true);
    connect(&connection->timer, &QTimer::timeout, this, [this, connection] { drop(connection); });
    connection->timer.start(m_limits.requestSeconds * 1000);
    connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readRequests(connection); });
    connect(socket, &QTcpSocket::disconnected, this, [this, connection] { drop(connection); });
    if (m_tls) {
        auto* tls = static_cast<QSslSocket*>(socket);
        tls->setLocalCertificate(m_certificate);
        tls->setPrivateKey(m_key);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);
        connect(tls, &QSslSocket::encrypted, this,
                [this, connection] { readRequests(connection); });
        tls->startServerEncryption();
    }
}

void WebServer::drop(Connection* connection)
{
    if (!m_connections.remove(connection->socket))
        return;
    connection->socket->disconnect(this);
    connection->socket->abort();
    connection->socket->deleteLater();
    delete connection;
}

void WebServer::readRequests(Connection* connection)
{
    while (!connection->busy) {
        if (connection->pending.isEmpty())
            connection->pending = connection->socket->read(readChunk);
        if (connection->pending.isEmpty())
            return;
        RequestReader& reader = *connection->reader;
        const qsizetype used =
            reader.feed(connection->pending.constData(), connection->pending.size());
        connection->pending.remove(0, used);
        if (reader.failure()) {
            connection->busy = true;
            reply(connection, reader.failure(), "text/plain", reason(reader.failure()),
                  {{"Connection", "close"}});
            return;
        }
        if (!reader.ready())
            continue;
        HttpRequest request = reader.take();
        request.remote = connection->from;
        connection->busy = true;
        handle(connection, request);
        if (!m_connections.contains(connection->socket))
            return;
    }
}

void WebServer::reply(Connection* connection, int status, const QByteArray& type,
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
    bool close = !connection->reader->keepAlive() || connection->reader->failure() != 0;
    for (const auto& [key, value] : std::as_const(all)) {
        out += key + ": " + value + "\r\n";
        close = close || (key == "Connection" && value == "close");
    }
    connection->socket->write(out + "\r\n" + body);
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
            [this, socket = QPointer<QTcpSocket>(connection->socket)] {
                if (Connection* c = socket ? m_connections.value(socket) : nullptr)
                    readRequests(c);
            },
            Qt::QueuedConnection);
}

void WebServer::replyJson(Connection* connection, int status, const QJsonObject& object)
{
    reply(connection, status, "application/json",
          QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool WebServer::knownHost(const QByteArray& hostField) const
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
        for (const QHostAddress& own : m_ownAddresses)
            if (plain(own).isEqual(plain(literal)))
                return true;
        return literal.isLoopback() || m_hosts.contains(host);
    }
    return m_hosts.contains(host);
}

QByteArray WebServer::session(const HttpRequest& request)
{
    const QByteArray token = request.cookie(cookieName);
    const auto found = m_sessions.find(token);
    if (token.isEmpty() || found == m_sessions.end())
        return QByteArray();
    if (*found < now()) {
        m_sessions.erase(found);
        endStreams([&](const QByteArray& stream) { return stream == token; });
        return QByteArray();
    }
    *found = now().addSecs(qint64(m_limits.sessionHours) * 3600);
    return token;
}

bool WebServer::fromThePage(const HttpRequest& request) const
{
    // A browser says where a request comes from; a form on another site cannot hide it.
    const QByteArray site = request.header("sec-fetch-site");
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return false;
    const QByteArray origin = request.header("origin");
    if (origin.isEmpty())
        return true; // not a browser's cross-site request
    return origin == (m_tls ? "https://" : "http://") + request.header("host");
}

void WebServer::handle(Connection* connection, const HttpRequest& request)
{
    const QString& path = request.path;
    const QByteArray& method = request.method;
    const QByteArray host = request.header("host");
    if (host.isEmpty()) {
        reply(connection, 400, "text/plain", "Host missing");
        return;
    }
    // A name this machine does not answer to is how a page elsewhere would reach in (DNS
    // rebinding).
    if (!knownHost(host)) {
        reply(connection, 421, "text/plain",
              "This page does not answer to that name; add it to [Web] Hosts.");
        return;
    }
    const bool changes = method == "POST" || method == "DELETE";
    if (changes && !fromThePage(request)) {
        replyJson(connection, 403,
                  {{QStringLiteral("error"), QStringLiteral("not from this page")}});
        return;
    }
    if (path == QLatin1String("/login") && method == "POST") {
        logIn(connection, request);
        return;
    }
    if (method == "GET" && (path == QLatin1String("/login") || path == QLatin1String("/app.js") ||
                            path == QLatin1String("/style.css"))) {
        const QByteArray type = path.endsWith(QLatin1String(".js"))    ? "text/javascript"
                                : path.endsWith(QLatin1String(".css")) ? "text/css"
                                                                       : "text/html; charset=utf-8";
        reply(connection, 200, type,
              resource(path == QLatin1String("/login") ? "login.html" : path.mid(1)));
        return;
    }
    const QByteArray token = session(request);
    if (!token.isEmpty() && !connection->signedIn) {
        int signedIn = 0;
        for (const Connection* other : std::as_const(m_connections))
            signedIn += other->signedIn ? 1 : 0;
        connection->signedIn = signedIn < m_limits.connectionsSignedIn;
    }
    if (path == QLatin1String("/") && method == "GET") {
        if (!token.isEmpty())
            reply(connection, 200, "text/html; charset=utf-8",
                  resource(QStringLiteral("index.html")));
        else
            reply(connection, 303, "text/plain", QByteArray(), {{"Location", "/login"}});
        return;
    }
    const bool api = path.startsWith(QLatin1String("/api/")) || path == QLatin1String("/logout");
    if (!api) {
        reply(connection, 404, "text/plain", "Not found");
        return;
    }
    if (token.isEmpty()) {
        replyJson(connection, 401, {{QStringLiteral("error"), QStringLiteral("log in first")}});
        return;
    }
    if (path == QLatin1String("/logout") && method == "POST") {
        logOut(connection, request);
    } else if (path == QLatin1String("/api/calls") && method == "GET") {
        serveCalls(connection, request);
    } else if (path == QLatin1String("/api/calls.csv") && method == "GET") {
        serveCsv(connection);
    } else if (path == QLatin1String("/api/stats") && method == "GET") {
        serveStats(connection, request);
    } else if (path == QLatin1String("/api/state") && method == "GET") {
        replyJson(connection, 200, state ? state() : QJsonObject());
    } else if (path == QLatin1String("/api/events") && method == "GET") {
        openStream(connection, token);
    } else if (path == QLatin1String("/api/blocked")) {
        serveList(connection, request, CallScreen::List::Blocked);
    } else if (path == QLatin1String("/api/allowed")) {
        serveList(connection, request, CallScreen::List::Allowed);
    } else if ((path == QLatin1String("/api/block") || path == QLatin1String("/api/unblock")) &&
               method == "POST") {
        blockOrUnblock(connection, request, path == QLatin1String("/api/block"));
    } else if (path == QLatin1String("/api/permit-next") && method == "POST") {
        if (m_screen.permitNext())
            replyJson(connection, 200, {{QStringLiteral("permitted"), true}});
        else
            replyJson(connection, 409,
                      {{QStringLiteral("error"), QStringLiteral("screening is off")}});
    } else if (path == QLatin1String("/api/sources")) {
        serveSources(connection, request);
    } else {
        reply(connection, 404, "text/plain", "Not found");
    }
}

void WebServer::logIn(Connection* connection, const HttpRequest& request)
{
    const QString password = HttpRequest::formValue(request.body, QStringLiteral("password"));
    QPointer<QTcpSocket> client(connection->socket);
    auto stillWanted = [this, client] {
        return client && m_connections.contains(client) &&
               client->state() == QAbstractSocket::ConnectedState;
    };
    auto done = [this, client](bool right) {
        Connection* connection = m_connections.value(client);
        if (!connection)
            return;
        if (!right) {
            reply(connection, 303, "text/plain", QByteArray(), {{"Location", "/login?wrong"}});
            return;
        }
        const QByteArray token = PasswordHash::randomBytes(32).toBase64(
            QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        m_sessions.insert(token, now().addSecs(qint64(m_limits.sessionHours) * 3600));
        QByteArray cookie = cookieName + '=' + token + "; Path=/; HttpOnly; SameSite=Strict";
        if (m_tls)
            cookie += "; Secure";
        reply(connection, 303, "text/plain", QByteArray(),
              {{"Location", "/"}, {"Set-Cookie", cookie}});
    };
    if (!m_gate.submit(connection->from, password, m_passwordHash, stillWanted, done))
        reply(connection, 429, "text/plain", "Too many wrong passwords: try again later.",
              {{"Retry-After", QByteArray::number(m_gate.retryAfter(connection->from))}});
}

void WebServer::logOut(Connection* connection, const HttpRequest& request)
{
    const QByteArray token = request.cookie(cookieName);
    m_sessions.remove(token);
    endStreams([&](const QByteArray& stream) { return stream == token; });
    reply(connection, 303, "text/plain", QByteArray(),
          {{"Location", "/login"}, {"Set-Cookie", cookieName + "=; Max-Age=0; Path=/"}});
}

QJsonObject WebServer::callJson(const CallRecord& call, bool fresh)
{
    return QJsonObject{
        {QStringLiteral("id"), call.historyId},
        {QStringLiteral("call_id"), call.id},
        {QStringLiteral("date"), call.date},
        {QStringLiteral("time"), call.time},
        {QStringLiteral("received"), call.received.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("number"), call.number},
        {QStringLiteral("e164"), call.e164},
        {QStringLiteral("name"), call.name},
        {QStringLiteral("contact"), call.contactName},
        {QStringLiteral("contact_uid"), call.contactUid},
        {QStringLiteral("blocked"), call.blocked},
        {QStringLiteral("block_rule"), call.blockRule},
        {QStringLiteral("source"), call.source},
        {QStringLiteral("outcome"), call.outcome},
        {QStringLiteral("duration"), call.duration},
        // What the row's one button offers: the lists as they stand now.
        {QStringLiteral("listed"), m_screen.isBlocked(call.number, call.name, fresh)},
    };
}

void WebServer::serveCalls(Connection* connection, const HttpRequest& request)
{
    const QString asked = request.queryValue(QStringLiteral("limit"));
    const int limit = asked.isEmpty() ? 50 : std::clamp(asked.toInt(), 1, 500);
    QJsonArray calls;
    for (const CallRecord& call : m_history.page(
             limit, request.queryValue(QStringLiteral("before")).toLongLong(),
             request.queryValue(QStringLiteral("q")), request.queryValue(QStringLiteral("number"))))
        calls.append(callJson(call, calls.isEmpty()));
    replyJson(connection, 200, {{QStringLiteral("calls"), calls}});
}

void WebServer::serveStats(Connection* connection, const HttpRequest& request)
{
    const QString asked = request.queryValue(QStringLiteral("days"));
    const int days = asked.isEmpty() ? 30 : std::clamp(asked.toInt(), 1, 366);
    const QDate today = now().toLocalTime().date();
    QJsonArray perDay;
    for (const CallHistory::Day& day : m_history.days(days, today))
        perDay.append(QJsonObject{{QStringLiteral("date"), day.date.toString(Qt::ISODate)},
                                  {QStringLiteral("calls"), day.calls},
                                  {QStringLiteral("blocked"), day.blocked}});
    QJsonArray top;
    for (const CallHistory::Caller& caller : m_history.topCallers(days, today, 10))
        top.append(QJsonObject{{QStringLiteral("number"), caller.number},
                               {QStringLiteral("name"), caller.name},
                               {QStringLiteral("contact"), caller.contact},
                               {QStringLiteral("calls"), caller.calls}});
    replyJson(connection, 200, {{QStringLiteral("days"), perDay}, {QStringLiteral("top"), top}});
}

void WebServer::serveCsv(Connection* connection)
{
    // A spreadsheet runs a cell that starts with one of these as a formula; a caller's name
    // must never be one.
    auto cell = [](QString text) {
        if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.at(0)))
            text.prepend(u'\'');
        if (text.contains(u'"') || text.contains(u',') || text.contains(u'\n'))
            text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
        return text;
    };
    QByteArray csv = "id,call_id,received,date,time,number,e164,name,contact,contact_uid,blocked,"
                     "block_rule,source,outcome,duration\r\n";
    m_history.forEach([&](const CallRecord& call) {
        const QStringList cells{QString::number(call.historyId),
                                call.id,
                                call.received.toUTC().toString(Qt::ISODate),
                                call.date,
                                call.time,
                                call.number,
                                call.e164,
                                call.name,
                                call.contactName,
                                call.contactUid,
                                call.blocked ? QStringLiteral("1") : QStringLiteral("0"),
                                call.blockRule,
                                call.source,
                                call.outcome,
                                QString::number(call.duration)};
        QStringList out;
        for (const QString& text : cells)
            out << cell(text);
        csv += out.join(u',').toUtf8() + "\r\n";
    });
    reply(connection, 200, "text/csv; charset=utf-8", csv,
          {{"Content-Disposition", "attachment; filename=\"calls.csv\""}});
}

void WebServer::serveList(Connection* connection, const HttpRequest& request, CallScreen::List list)
{
    QString error;
    bool ok = true;
    if (request.method == "POST" || request.method == "DELETE") {
        const QString entry = QJsonDocument::fromJson(request.body)
                                  .object()
                                  .value(QStringLiteral("entry"))
                                  .toString();
        ok = request.method == "POST" ? m_screen.addEntry(list, entry, &error)
                                      : m_screen.removeEntry(list, entry, &error);
    } else if (request.method != "GET") {
        reply(connection, 404, "text/plain", "Not found");
        return;
    }
    if (!ok) {
        replyJson(connection, 400, {{QStringLiteral("error"), error}});
        return;
    }
    QJsonArray problems;
    for (const ScreeningList::Problem& problem : m_screen.problems(list))
        problems.append(QJsonObject{{QStringLiteral("line"), problem.line},
                                    {QStringLiteral("text"), problem.text},
                                    {QStringLiteral("reason"), problem.reason}});
    replyJson(connection, 200,
              {{QStringLiteral("entries"), QJsonArray::fromStringList(m_screen.entries(list))},
               {QStringLiteral("problems"), problems}});
}

void WebServer::serveSources(Connection* connection, const HttpRequest& request)
{
    if (request.method == "DELETE") {
        QString error;
        const QString source = QJsonDocument::fromJson(request.body)
                                   .object()
                                   .value(QStringLiteral("source"))
                                   .toString();
        if (!m_screen.dropSource(source, &error)) {
            replyJson(connection, 400, {{QStringLiteral("error"), error}});
            return;
        }
    } else if (request.method != "GET") {
        reply(connection, 404, "text/plain", "Not found");
        return;
    }
    QJsonArray sources;
    for (const ImportedLists::Source& source : m_screen.importedSources())
        sources.append(QJsonObject{
            {QStringLiteral("name"), source.name},
            {QStringLiteral("numbers"), qint64(source.numbers)},
            {QStringLiteral("imported"), source.imported.toUTC().toString(Qt::ISODate)}});
    replyJson(connection, 200, {{QStringLiteral("sources"), sources}});
}

void WebServer::blockOrUnblock(Connection* connection, const HttpRequest& request, bool block)
{
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    const QString number = CleanText::field(body.value(QStringLiteral("number")).toString());
    const QString name = CleanText::field(body.value(QStringLiteral("name")).toString());
    const bool done = block ? m_screen.block(number) : m_screen.unblock(number, name);
    if (!done) {
        replyJson(connection, 400,
                  {{QStringLiteral("error"), QStringLiteral("see the monitor's events")}});
        return;
    }
    replyJson(connection, 200, {{QStringLiteral("listed"), m_screen.isBlocked(number, name)}});
}

void WebServer::openStream(Connection* connection, const QByteArray& token)
{
    connection->timer.stop();
    connection->stream = true;
    connection->token = token;
    connection->socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n\r\n: the calls as they are logged\n\n");
    if (!m_sessionCheck.isActive())
        m_sessionCheck.start();
}

void WebServer::endStreams(const std::function<bool(const QByteArray& token)>& ended)
{
    const QList<Connection*> all = m_connections.values();
    for (Connection* connection : all)
        if (connection->stream && ended(connection->token))
            drop(connection);
}

void WebServer::push(const QByteArray& event, const QByteArray& data)
{
    const QByteArray message = "event: " + event + "\ndata: " + data + "\n\n";
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
    if (!any)
        m_sessionCheck.stop();
}

void WebServer::callLogged(const CallRecord& call)
{
    push("call", QJsonDocument(callJson(call)).toJson(QJsonDocument::Compact));
}

void WebServer::eventAdded(const QString& line)
{
    push("event", QJsonDocument(QJsonArray{CleanText::field(line)}).toJson(QJsonDocument::Compact));
}

// The web server as a stranger on the network meets it: raw requests over real sockets,
// pipelined, parallel, oversized, idle or for another host name; and as the household meets it:
// sessions that end, pages of calls, a live page that ends with its session.
#include "calls/CallScreen.h"
#include "common/Clock.h"
#include "common/PasswordHash.h"
#include "web/LoginGate.h"
#include "web/MessagesController.h"
#include "web/WebPage.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

namespace {

struct Response
{
    int status = 0;
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    }
};

// The responses in the bytes so far, as many as are complete.
QList<Response> responses(const QByteArray& bytes)
{
    QList<Response> all;
    qsizetype at = 0;
    while (true) {
        const qsizetype end = bytes.indexOf("\r\n\r\n", at);
        if (end < 0)
            return all;
        Response response;
        response.head = bytes.mid(at, end - at);
        response.status = response.head.mid(9, 3).toInt();
        const qsizetype length = response.header("Content-Length").toLongLong();
        if (bytes.size() < end + 4 + length)
            return all;
        response.body = bytes.mid(end + 4, length);
        all.append(response);
        at = end + 4 + length;
    }
}

QByteArray get(const QByteArray& path, const QByteArray& cookie = QByteArray())
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           (cookie.isEmpty() ? QByteArray() : "Cookie: ringdesk_session=" + cookie + "\r\n") +
           "\r\n";
}

QByteArray post(const QByteArray& path, const QByteArray& body, const QByteArray& cookie = {},
                const QByteArray& extra = {})
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n" +
           (cookie.isEmpty() ? QByteArray() : "Cookie: ringdesk_session=" + cookie + "\r\n") +
           extra + "\r\n" + body;
}

QByteArray logIn(const QByteArray& password)
{
    return post("/login", "password=" + password);
}

} // namespace

class TestWebServer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void audioRangesAsBrowsersAsk_data();
    void audioRangesAsBrowsersAsk();
    void strangersAreRefused_data();
    void strangersAreRefused();
    void connectionsAreBounded();
    void passwordTriesAreCountedAsTheyArrive();
    void parallelTriesCountToo();
    void manyAddressesShareTheirTries();
    void addressesTakeTurnsToBeChecked();
    void limitsCountEachRequest();
    void answersAClientDoesNotReadAreBounded();
    void sessionsEnd();
    void liveStreamsAreBounded();
    void onlyThePageMayChangeTheLists_data();
    void onlyThePageMayChangeTheLists();
    void removingAnAbsentEntryIsNotFound();
    void callsComeInPages();
    void tlsNeedsTheRightKey();
    void storedHashKeepsItsCost();

private:
    // Sends the bytes on a fresh connection and waits for `count` responses (or the close).
    QList<Response> exchange(const QByteArray& bytes, int count = 1, QTcpSocket* socket = nullptr);
    QByteArray signIn();
    QTcpSocket* connectClient();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CallScreen> m_screen;
    std::unique_ptr<CallHistory> m_history;
    std::unique_ptr<WebPage> m_server;
    QDateTime m_now;
    QList<QTcpSocket*> m_clients;
};

void TestWebServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_screen = std::make_unique<CallScreen>(m_dir->path());
    m_screen->setNumberPlan(NumberPlan("US", "613"));
    m_history = std::make_unique<CallHistory>();
    m_history->open(m_dir->path() + '/', {});
    m_server = std::make_unique<WebPage>(*m_screen, *m_history);
    m_now = QDateTime::currentDateTimeUtc();
    Clock::setNow([this] { return m_now; });
    // The slow hash has a test of its own; here a right password is just that.
    m_server->loginGate().check = [](const QString& password, const QString&) {
        return password == "right password";
    };
    QString problem;
    QVERIFY2(m_server->start("127.0.0.1:0", "hash", QString(), QString(), {"Phone.Home"}, &problem),
             qPrintable(problem));
}

void TestWebServer::cleanup()
{
    Clock::setNow({});
    qDeleteAll(m_clients);
    m_clients.clear();
    m_server.reset();
    m_history.reset();
    m_screen.reset();
}

QTcpSocket* TestWebServer::connectClient()
{
    auto* socket = new QTcpSocket;
    m_clients << socket;
    socket->connectToHost(QHostAddress::LocalHost, m_server->serverPort());
    return socket;
}

QList<Response> TestWebServer::exchange(const QByteArray& bytes, int count, QTcpSocket* socket)
{
    if (!socket)
        socket = connectClient();
    QByteArray got;
    socket->write(bytes);
    QDeadlineTimer deadline(10000);
    while (responses(got).size() < count && !deadline.hasExpired() &&
           (socket->state() == QAbstractSocket::ConnectedState ||
            socket->state() == QAbstractSocket::ConnectingState || socket->bytesAvailable())) {
        QTest::qWait(5);
        got += socket->readAll();
    }
    got += socket->readAll();
    return responses(got);
}

QByteArray TestWebServer::signIn()
{
    const QList<Response> answer = exchange(logIn("right+password"));
    const QByteArray cookie = answer.value(0).header("Set-Cookie");
    return cookie.mid(cookie.indexOf('=') + 1, cookie.indexOf(';') - cookie.indexOf('=') - 1);
}

// Each row: bytes a stranger sends on one connection, and the one answer they get.
void TestWebServer::strangersAreRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::newRow("log-in page") << get("/login") << 200;
    QTest::newRow("a body larger than a log-in, refused unread")
        << QByteArray("POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000000\r\n"
                      "\r\n")
        << 413;
    QTest::newRow("a chunked body larger than a log-in")
        << QByteArray("POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
                      "\r\n800\r\n") +
               QByteArray(0x800, 'a') + "\r\n0\r\n\r\n"
        << 413;
    QTest::newRow("header fields too large")
        << QByteArray("GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ") +
               QByteArray(10000, 'x') + "\r\n\r\n"
        << 431;
    QTest::newRow("another site's name (DNS rebinding)")
        << QByteArray("GET /login HTTP/1.1\r\nHost: evil.example\r\n\r\n") << 421;
    QTest::newRow("no Host") << QByteArray("GET /login HTTP/1.0\r\n\r\n") << 400;
    QTest::newRow("a name from [Web] Hosts")
        << QByteArray("GET /login HTTP/1.1\r\nHost: PHONE.home:8080\r\n\r\n") << 200;
    QTest::newRow("localhost") << QByteArray("GET /login HTTP/1.1\r\nHost: localhost\r\n\r\n")
                               << 200;
    QTest::newRow("not HTTP") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n")
                              << 400;
    QTest::newRow("the API without a session") << get("/api/calls") << 401;
    QTest::newRow("a forged session") << get("/api/calls", "forged") << 401;
}

void TestWebServer::strangersAreRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const QList<Response> answer = exchange(request);
    QCOMPARE(answer.size(), 1);
    QCOMPARE(answer.at(0).status, status);
}

// Idle connections are closed after the time to send a request; more than the limit from one
// address are closed at once; someone else still gets in.
void TestWebServer::connectionsAreBounded()
{
    WebPage::Limits limits = m_server->limits();
    limits.connectionsPerAddress = 3;
    limits.requestSeconds = 1;
    m_server->setLimits(limits);
    QList<QTcpSocket*> idle;
    for (int i = 0; i < 3; ++i) {
        idle << connectClient();
        QTRY_COMPARE(idle.last()->state(), QAbstractSocket::ConnectedState);
    }
    idle.first()->write("GET /login HTTP/1.1\r\n"); // half a request is idle too
    idle << connectClient();
    QTRY_COMPARE(idle.last()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(idle.at(0)->state(), QAbstractSocket::ConnectedState);
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(idle.at(0)->state(), QAbstractSocket::UnconnectedState, 3000);
    QVERIFY(clock.elapsed() >= 500);
    auto* other = new QTcpSocket;
    m_clients << other;
    other->bind(QHostAddress("127.0.0.2"));
    other->connectToHost(QHostAddress::LocalHost, m_server->serverPort());
    QCOMPARE(exchange(get("/login"), 1, other).value(0).status, 200);

    // All places before log-in taken: the connection idle longest goes, not one whose log-in is
    // being checked, however long it has waited.
    limits.connectionsBeforeLogIn = 2;
    limits.connectionsPerAddress = 16;
    limits.requestSeconds = 10;
    m_server->setLimits(limits);
    // The check runs off the event loop and holds until the test has seen the room made.
    std::atomic<bool> checking = false;
    QSemaphore finish;
    auto release = qScopeGuard([&finish] { finish.release(); });
    m_server->loginGate().check = [&checking, &finish](const QString&, const QString&) {
        checking = true;
        finish.acquire();
        return false;
    };
    QTcpSocket* loggingIn = connectClient();
    QTRY_COMPARE(loggingIn->state(), QAbstractSocket::ConnectedState);
    loggingIn->write(logIn("guess"));
    QTRY_VERIFY(checking);
    QTcpSocket* waiting = connectClient();
    QTRY_COMPARE(waiting->state(), QAbstractSocket::ConnectedState);
    QTcpSocket* newest = connectClient();
    QTRY_COMPARE(waiting->state(), QAbstractSocket::UnconnectedState);
    release.dismiss();
    finish.release();
    QByteArray answer;
    QTRY_VERIFY((answer += loggingIn->readAll(), responses(answer).size() == 1));
    QCOMPARE(responses(answer).at(0).header("Location"), "/login?wrong");
    QCOMPARE(newest->state(), QAbstractSocket::ConnectedState);
}

// Forty tries pipelined in one write: five are checked, the rest refused, the right one too.
// A quarter of an hour later the right one gets in, and its address starts counting again, so
// a later typo does not lock the household out.
void TestWebServer::passwordTriesAreCountedAsTheyArrive()
{
    QByteArray forty;
    for (int i = 0; i < 39; ++i)
        forty += logIn("guess" + QByteArray::number(i));
    forty += logIn("right+password");
    const QList<Response> answers = exchange(forty, 40);
    QCOMPARE(answers.size(), 40);
    QStringList statuses;
    for (const Response& answer : answers)
        statuses << QString::number(answer.status) + answer.header("Location");
    QCOMPARE(statuses.count("303/login?wrong"), 5);
    QCOMPARE(statuses.count("429"), 35);
    QCOMPARE(m_server->loginGate().waiting(), 0);

    m_now = m_now.addSecs(15 * 60 + 1);
    QVERIFY(!signIn().isEmpty());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(exchange(logIn("typo")).value(0).header("Location"), "/login?wrong");
    QVERIFY(!signIn().isEmpty());
    QCOMPARE(exchange(logIn("typo")).value(0).header("Location"), "/login?wrong");
    QVERIFY2(!signIn().isEmpty(), "a right password clears the count");
}

void TestWebServer::parallelTriesCountToo()
{
    QList<QTcpSocket*> sockets;
    for (int i = 0; i < 12; ++i) {
        sockets << connectClient();
        QTRY_COMPARE(sockets.last()->state(), QAbstractSocket::ConnectedState);
    }
    for (QTcpSocket* socket : sockets)
        socket->write(logIn("guess"));
    QMap<int, int> statuses;
    for (QTcpSocket* socket : sockets) {
        QByteArray got;
        QTRY_VERIFY((got += socket->readAll(), responses(got).size() == 1));
        ++statuses[responses(got).at(0).status];
    }
    QCOMPARE(statuses.value(303), 5);
    QCOMPARE(statuses.value(429), 7);
}

// A thousand tries from a hundred addresses are thirty checks a minute, and an IPv6 host's /64
// is one address.
void TestWebServer::manyAddressesShareTheirTries()
{
    LoginGate gate;
    gate.check = [](const QString&, const QString&) {
        return false;
    };
    auto tries = [&](const QStringList& from, int each) {
        int taken = 0;
        for (int i = 0; i < each; ++i)
            for (const QString& address : from)
                taken += gate.submit(
                    QHostAddress(address), "guess", "hash", [] { return false; }, [](bool) {});
        return taken;
    };
    QStringList hundred;
    for (int i = 1; i <= 100; ++i)
        hundred << QString("192.168.1.%1").arg(i);
    QCOMPARE(tries(hundred, 10), LoginGate::triesPerMinute);
    QVERIFY(gate.retryAfter(QHostAddress("192.168.1.200")) > 0);
    m_now = m_now.addSecs(61);
    QStringList oneHost;
    for (int i = 1; i <= 20; ++i)
        oneHost << QString("2001:db8:1:2::%1").arg(i, 0, 16);
    QCOMPARE(tries(oneHost, 1), LoginGate::triesPerAddress);
    QCOMPARE(tries({"2001:db8:1:3::1"}, 1), 1); // another /64, another household
    gate.stop();
}

// A flood from one address waits behind the others' tries, not before them.
void TestWebServer::addressesTakeTurnsToBeChecked()
{
    LoginGate gate;
    QStringList order;
    gate.check = [](const QString&, const QString&) {
        return false;
    };
    auto submit = [&](const QString& from, const QString& password) {
        return gate.submit(
            QHostAddress(from), password, "hash", [] { return true; },
            [&order, password](bool) { order << password; });
    };
    for (int i = 1; i <= 5; ++i)
        QVERIFY(submit("192.168.1.9", "flood" + QString::number(i)));
    QVERIFY(submit("192.168.1.10", "household"));
    QVERIFY(submit("192.168.1.11", "guest"));
    QTRY_COMPARE(order.size(), 7);
    // The flood's first check was running, its second had its turn already; then each in turn.
    QVERIFY2(order.indexOf("household") < order.indexOf("flood3") &&
                 order.indexOf("guest") < order.indexOf("flood4"),
             qPrintable(order.join(' ')));
    gate.stop();
}

// A kept-alive connection's header limit is each request's own; after log-in a body may have
// 64 KB, not more.
void TestWebServer::limitsCountEachRequest()
{
    const QByteArray padded =
        "GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + QByteArray(6000, 'x') + "\r\n\r\n";
    const QList<Response> both = exchange(padded + padded, 2);
    QCOMPARE(both.size(), 2);
    QCOMPARE(both.at(1).status, 200);
    const QByteArray cookie = signIn();
    const QByteArray json = "Content-Type: application/json\r\n";
    auto entry = [](qsizetype size) {
        return "{\"entry\":\"+1 613 555 0100\",\"comment\":\"" + QByteArray(size, 'c') + "\"}";
    };
    QCOMPARE(exchange(post("/api/blocked", entry(65 * 1024), cookie, json)).value(0).status, 413);
    QVERIFY(exchange(post("/api/blocked", entry(60 * 1024), cookie, json)).value(0).status != 413);
}

// A client that pipelines requests and never reads the answers holds a quarter megabyte here,
// not the answers to all of them; once it reads, the rest are answered.
void TestWebServer::answersAClientDoesNotReadAreBounded()
{
    QTcpSocket* client = connectClient();
    client->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);
    client->setReadBufferSize(4096);
    constexpr int asked = 400; // of about 2 KB each
    QByteArray requests;
    for (int i = 0; i < asked; ++i)
        requests += get("/login");
    client->write(requests);
    const qsizetype limit = m_server->limits().unreadAnswers;
    QTRY_VERIFY_WITH_TIMEOUT(m_server->answersUnread() > limit, 20000);
    // Each turn of the event loop would answer one more.
    for (int turn = 0; turn < 300; ++turn)
        QCoreApplication::processEvents();
    QVERIFY2(m_server->answersUnread() < limit + 64 * 1024,
             qPrintable(QString::number(m_server->answersUnread())));
    client->setReadBufferSize(0);
    client->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += client->readAll(), got.count("HTTP/1.1 200 OK") == asked),
                             60000);
}

// A session ends after twelve hours unused; a live page ends with its session.
void TestWebServer::sessionsEnd()
{
    const QByteArray cookie = signIn();
    QVERIFY(!cookie.isEmpty());
    QCOMPARE(exchange(get("/api/calls", cookie)).value(0).status, 200);
    m_now = m_now.addSecs(11 * 3600);
    QCOMPARE(exchange(get("/api/calls", cookie)).value(0).status, 200);
    m_now = m_now.addSecs(12 * 3600 + 1);
    QCOMPARE(exchange(get("/api/calls", cookie)).value(0).status, 401);

    const QByteArray second = signIn();
    QTcpSocket* stream = connectClient();
    stream->write(get("/api/events", second));
    QTRY_VERIFY(stream->peek(1000).contains("text/event-stream"));
    QCOMPARE(exchange(post("/logout", "", second)).value(0).status, 303);
    QTRY_COMPARE(stream->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(exchange(get("/api/calls", second)).value(0).status, 401);
}

// A live page that never reads is dropped before it holds more than its buffer.
void TestWebServer::liveStreamsAreBounded()
{
    const QByteArray cookie = signIn();
    QTcpSocket* stream = connectClient();
    stream->setReadBufferSize(1);
    stream->write(get("/api/events", cookie));
    QTRY_VERIFY(stream->bytesAvailable() > 0);
    QTcpSocket* reader = connectClient();
    reader->write(get("/api/events", cookie));
    const QString line(1000, 'x');
    for (int i = 0; i < 20000; ++i) {
        m_server->eventAdded(line);
        // The reader reads as a live page does, well within its buffer.
        if (i % 20 == 0) {
            QTest::qWait(1);
            reader->readAll();
        }
    }
    // Reading now, it finds the end after what the kernel held, far less than was sent.
    stream->setReadBufferSize(0);
    qint64 received = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (received += stream->readAll().size(), stream->state() != QAbstractSocket::ConnectedState),
        20000);
    QVERIFY2(received < 15'000'000, qPrintable(QString::number(received)));
    QCOMPARE(reader->state(), QAbstractSocket::ConnectedState);
}

void TestWebServer::onlyThePageMayChangeTheLists_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("status");
    QTest::newRow("the page") << QByteArray("Sec-Fetch-Site: same-origin\r\n") << 200;
    QTest::newRow("no browser") << QByteArray() << 200;
    QTest::newRow("same site, other origin") << QByteArray("Sec-Fetch-Site: same-site\r\n") << 403;
    QTest::newRow("cross site") << QByteArray("Sec-Fetch-Site: cross-site\r\n") << 403;
    QTest::newRow("other origin") << QByteArray("Origin: http://evil.example\r\n") << 403;
}

void TestWebServer::onlyThePageMayChangeTheLists()
{
    QFETCH(QByteArray, header);
    QFETCH(int, status);
    const QByteArray cookie = signIn();
    QCOMPARE(exchange(post("/api/blocked", R"({"entry":"613-555-0101"})", cookie, header))
                 .value(0)
                 .status,
             status);
    QCOMPARE(m_screen->entries(CallScreen::List::Blocked).size(), status == 200 ? 1 : 0);
}

void TestWebServer::removingAnAbsentEntryIsNotFound()
{
    const QByteArray cookie = signIn();
    QByteArray remove = post("/api/blocked", R"({"entry":"613-555-0101"})", cookie);
    remove.replace(0, 4, "DELETE");
    QCOMPARE(exchange(remove).value(0).status, 404);
    QCOMPARE(exchange(post("/api/blocked", R"({"entry":"613-555-0101"})", cookie)).value(0).status,
             200);
    QCOMPARE(exchange(remove).value(0).status, 200);
    QVERIFY(m_screen->entries(CallScreen::List::Blocked).isEmpty());
}

// Pages of calls follow each other without a gap or a repeat; a search ignores case and
// punctuation.
void TestWebServer::callsComeInPages()
{
    for (int n = 1; n <= 120; ++n) {
        CallRecord call;
        call.date = "12/08";
        call.time = "10:00";
        call.number = QString("+1 (613) 555-%1").arg(n, 4, 10, QChar('0'));
        call.name = QString("CALLER %1").arg(n);
        m_history->add(call, false);
    }
    const QByteArray cookie = signIn();
    auto page = [&](const QByteArray& query) {
        const QJsonArray calls =
            QJsonDocument::fromJson(exchange(get("/api/calls?" + query, cookie)).value(0).body)
                .object()
                .value("calls")
                .toArray();
        QStringList names;
        for (const QJsonValue& call : calls)
            names << call["name"].toString();
        return std::make_pair(names, calls.isEmpty() ? 0 : calls.last()["id"].toInteger());
    };
    const auto [first, oldest] = page("");
    QCOMPARE(first.size(), 50);
    QCOMPARE(first.first(), "CALLER 120");
    const auto [second, _] = page("before=" + QByteArray::number(oldest));
    QCOMPARE(second.first(), "CALLER 70");
    QCOMPARE(second.size(), 50);
    QCOMPARE(page("q=caller+42").first, QStringList{"CALLER 42"});
    QCOMPARE(page("q=6135550042").first, QStringList{"CALLER 42"});
    QCOMPARE(page("q=%28613%29+555-0042").first, QStringList{"CALLER 42"});
}

// Under TLS the cookie is Secure; a key that is not the certificate's is refused at start.
void TestWebServer::tlsNeedsTheRightKey()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS backend");
    const QString dir = m_dir->path();
    for (const QString& name : {"one", "two"}) {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                  "-subj", "/CN=localhost", "-keyout", dir + "/" + name + ".key",
                                  "-out", dir + "/" + name + ".crt"});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
    }
    WebPage mismatched(*m_screen, *m_history);
    QString problem;
    QVERIFY(
        !mismatched.start("127.0.0.1:0", "hash", dir + "/one.crt", dir + "/two.key", {}, &problem));
    QCOMPARE(problem,
             QString("the key %1/two.key does not belong to the certificate %1/one.crt").arg(dir));
    QVERIFY(!mismatched.isListening());

    WebPage tls(*m_screen, *m_history);
    tls.loginGate().check = m_server->loginGate().check;
    QVERIFY2(tls.start("127.0.0.1:0", "hash", dir + "/one.crt", dir + "/one.key", {}, &problem),
             qPrintable(problem));
    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    client.connectToHostEncrypted("127.0.0.1", tls.serverPort());
    QTRY_VERIFY(client.isEncrypted());
    const QList<Response> answer = exchange(logIn("right+password"), 1, &client);
    QVERIFY2(answer.value(0).header("Set-Cookie").endsWith("; Secure"),
             answer.value(0).head.constData());
    // A connection that never begins its handshake is idle like any other.
    WebPage::Limits limits = tls.limits();
    limits.requestSeconds = 1;
    tls.setLimits(limits);
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, tls.serverPort());
    QTRY_COMPARE(silent.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 3000);
}

// The stored hash keeps libsodium's interactive cost: at least 64 MiB and two passes.
void TestWebServer::storedHashKeepsItsCost()
{
    const QString hash = PasswordHash::make("household phone");
    const QRegularExpressionMatch cost =
        QRegularExpression(R"(^\$argon2id\$v=19\$m=(\d+),t=(\d+),p=\d+\$)").match(hash);
    QVERIFY2(cost.hasMatch(), qPrintable(hash));
    QVERIFY(cost.captured(1).toInt() >= 65536);
    QVERIFY(cost.captured(2).toInt() >= 2);
    QVERIFY(PasswordHash::matches("household phone", hash));
    QVERIFY(!PasswordHash::matches("household phone ", hash));
}

QTEST_GUILESS_MAIN(TestWebServer)
// Each row: a Range field for a 1000-byte message, and the first and last byte it gets (-1: the
// field is refused, 416).
void TestWebServer::audioRangesAsBrowsersAsk_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::newRow("from the start") << QByteArray("bytes=0-") << qint64(0) << qint64(999);
    QTest::newRow("a part") << QByteArray("bytes=100-199") << qint64(100) << qint64(199);
    QTest::newRow("past the end, cut")
        << QByteArray("bytes=900-5000") << qint64(900) << qint64(999);
    QTest::newRow("the last bytes") << QByteArray("bytes=-200") << qint64(800) << qint64(999);
    QTest::newRow("more last bytes than there are")
        << QByteArray("bytes=-5000") << qint64(0) << qint64(999);
    QTest::newRow("starting past the end") << QByteArray("bytes=1000-") << qint64(-1) << qint64(-1);
    QTest::newRow("backwards") << QByteArray("bytes=200-100") << qint64(-1) << qint64(-1);
    QTest::newRow("two ranges") << QByteArray("bytes=0-1,5-6") << qint64(-1) << qint64(-1);
    QTest::newRow("not bytes") << QByteArray("items=0-1") << qint64(-1) << qint64(-1);
    QTest::newRow("no dash") << QByteArray("bytes=12") << qint64(-1) << qint64(-1);
}

void TestWebServer::audioRangesAsBrowsersAsk()
{
    QFETCH(QByteArray, field);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    const auto got = MessagesController::range(field, 1000);
    QCOMPARE(got.has_value(), first >= 0);
    if (got) {
        QCOMPARE(got->first, first);
        QCOMPARE(got->second, last);
    }
}

#include "tst_webserver.moc"

// Feeds arbitrary bytes, cut into pieces as a network would, to the web server's request
// reader, and every request it gives to the parsers of cookies, queries, forms and JSON bodies:
// nothing may pass the limits, and a failure is always one of the answers the server gives.
// Inputs whose first byte has its top bit set go, pipelined, to the whole server over loopback
// from a client that never reads: the answers it holds stay within their limit.
#include "calls/CallHistory.h"
#include "calls/CallScreen.h"
#include "web/HttpRequest.h"
#include "web/RequestReader.h"
#include "web/WebPage.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdint>

namespace {

// One server for the run; each input is a connection of its own.
struct Server
{
    QTemporaryDir folder;
    CallScreen screen{folder.path()};
    CallHistory history;
    WebPage page{screen, history};
};

Server* server = nullptr;

void toTheServer(const QByteArray& bytes)
{
    QTcpSocket client;
    client.setReadBufferSize(1);
    client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    client.connectToHost(QHostAddress::LocalHost, server->page.serverPort());
    if (!client.waitForConnected(1000))
        __builtin_trap();
    client.write(bytes);
    qsizetype most = 0;
    for (int turn = 0; turn < 200; ++turn) {
        QCoreApplication::processEvents();
        most = std::max(most, server->page.answersUnread());
    }
    // One answer may pass the limit: the largest here is the page itself, well under 64 KB.
    if (most > server->page.limits().unreadAnswers + 64 * 1024)
        __builtin_trap();
    client.abort();
    for (int turn = 0; turn < 20 && server->page.answersUnread() > 0; ++turn)
        QCoreApplication::processEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    server = new Server;
    server->history.open(server->folder.path() + u'/', {});
    QString problem;
    if (!server->page.start(QStringLiteral("127.0.0.1:0"), QStringLiteral("no hash"), QString(),
                            QString(), {}, &problem))
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] & 0x80) {
        toTheServer(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
        return 0;
    }
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype bodyLimit = 512;
    RequestReader reader([&](const HttpRequest& request) {
        return request.cookie("ringdesk_session").isEmpty() ? bodyLimit / 2 : bodyLimit;
    });
    for (qsizetype at = 0; at < bytes.size() && !reader.failure();) {
        const qsizetype length = std::min(piece, bytes.size() - at);
        const qsizetype used = reader.feed(bytes.constData() + at, length);
        at += used;
        if (reader.ready()) {
            const HttpRequest request = reader.take();
            if (request.body.size() > bodyLimit || !request.path.startsWith(u'/'))
                __builtin_trap();
            qsizetype headerBytes = 0;
            for (const auto& [name, value] : request.headers)
                headerBytes += name.size() + value.size();
            if (headerBytes > RequestReader::headerLimit)
                __builtin_trap();
            (void)request.header("host");
            (void)request.cookie("ringdesk_session");
            (void)request.queryValue(QStringLiteral("q"));
            (void)request.queryValue(QStringLiteral("limit")).toInt();
            (void)HttpRequest::formValue(request.body, QStringLiteral("password"));
            (void)QJsonDocument::fromJson(request.body).object().value(QStringLiteral("entry"));
        } else if (used == 0 && !reader.failure()) {
            __builtin_trap(); // bytes that are neither taken nor refused would stall a connection
        }
    }
    const int failure = reader.failure();
    if (failure != 0 && failure != 400 && failure != 413 && failure != 431 && failure != 501)
        __builtin_trap();
    return 0;
}

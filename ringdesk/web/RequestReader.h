#pragma once

#include "web/HttpRequest.h"

#include <QByteArray>
#include <functional>
#include <http_parser.h>

// Reads requests off one connection's bytes with the limits a stranger must not pass: the
// request line and header fields together, and the body, whose limit may depend on who asks
// (bodyLimit is asked once the header fields are in). A body announced as larger than its limit
// is refused before a byte of it is read. Requests are handed out one at a time; bytes of the
// next wait until take() has taken the one before.
class RequestReader
{
public:
    static constexpr qsizetype headerLimit = 8 * 1024;

    explicit RequestReader(std::function<qsizetype(const HttpRequest&)> bodyLimit);
    RequestReader(const RequestReader&) = delete;
    RequestReader& operator=(const RequestReader&) = delete;

    // Reads as much of the bytes as the current request needs; how many it used. 0 when a
    // request is complete and waits to be taken, or after a failure.
    qsizetype feed(const char* data, qsizetype size);
    bool ready() const { return m_ready; }
    HttpRequest take();
    // Once the bytes cannot be read as a request: the status to answer with (400, 413, 431,
    // 501), and then the connection is closed.
    int failure() const { return m_failure; }
    bool keepAlive() const { return m_keepAlive; }
    // Some bytes of a request have come, and it is not complete yet.
    bool partial() const { return m_started && !m_ready; }

private:
    static int onMessageBegin(http_parser* parser);
    static int onUrl(http_parser* parser, const char* at, size_t length);
    static int onHeaderField(http_parser* parser, const char* at, size_t length);
    static int onHeaderValue(http_parser* parser, const char* at, size_t length);
    static int onHeadersComplete(http_parser* parser);
    static int onBody(http_parser* parser, const char* at, size_t length);
    static int onMessageComplete(http_parser* parser);
    static RequestReader& of(http_parser* parser)
    {
        return *static_cast<RequestReader*>(parser->data);
    }
    bool countHeader(size_t length);

    std::function<qsizetype(const HttpRequest&)> m_bodyLimit;
    http_parser m_parser;
    http_parser_settings m_settings;
    HttpRequest m_request;
    QByteArray m_url;
    bool m_inValue = false;
    qsizetype m_headerBytes = 0;
    qsizetype m_limit = 0;
    bool m_started = false;
    bool m_headersDone = false;
    bool m_ready = false;
    bool m_keepAlive = true;
    int m_failure = 0;
};

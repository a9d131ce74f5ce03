#include "web/RequestReader.h"

#include <QUrl>

RequestReader::RequestReader(std::function<qsizetype(const HttpRequest&)> bodyLimit)
    : m_bodyLimit(std::move(bodyLimit))
{
    http_parser_init(&m_parser, HTTP_REQUEST);
    m_parser.data = this;
    http_parser_settings_init(&m_settings);
    m_settings.on_message_begin = onMessageBegin;
    m_settings.on_url = onUrl;
    m_settings.on_header_field = onHeaderField;
    m_settings.on_header_value = onHeaderValue;
    m_settings.on_headers_complete = onHeadersComplete;
    m_settings.on_body = onBody;
    m_settings.on_message_complete = onMessageComplete;
}

qsizetype RequestReader::feed(const char* data, qsizetype size)
{
    if (m_ready || m_failure || size <= 0)
        return 0;
    const size_t used = http_parser_execute(&m_parser, &m_settings, data, size_t(size));
    const http_errno code = HTTP_PARSER_ERRNO(&m_parser);
    if (code == HPE_PAUSED) {
        http_parser_pause(&m_parser, 0);
        return qsizetype(used);
    }
    if (code != HPE_OK && !m_failure)
        m_failure = code == HPE_HEADER_OVERFLOW ? 431 : 400;
    if (m_failure)
        return 0;
    // An upgrade (a WebSocket, say) is nothing this server speaks.
    if (m_parser.upgrade)
        m_failure = 501;
    return qsizetype(used);
}

HttpRequest RequestReader::take()
{
    m_ready = false;
    m_started = false;
    return std::exchange(m_request, HttpRequest());
}

bool RequestReader::countHeader(size_t length)
{
    m_headerBytes += qsizetype(length);
    if (m_headerBytes <= headerLimit)
        return true;
    m_failure = 431;
    return false;
}

int RequestReader::onMessageBegin(http_parser* parser)
{
    RequestReader& self = of(parser);
    self.m_started = true;
    self.m_request = HttpRequest();
    self.m_url.clear();
    self.m_inValue = false;
    self.m_headerBytes = 0;
    self.m_headersDone = false;
    return 0;
}

int RequestReader::onUrl(http_parser* parser, const char* at, size_t length)
{
    RequestReader& self = of(parser);
    if (!self.countHeader(length))
        return 1;
    self.m_url.append(at, qsizetype(length));
    return 0;
}

int RequestReader::onHeaderField(http_parser* parser, const char* at, size_t length)
{
    RequestReader& self = of(parser);
    if (!self.countHeader(length))
        return 1;
    // A field's name may come in pieces, as the bytes arrive.
    if (self.m_inValue || self.m_request.headers.isEmpty())
        self.m_request.headers.append({QByteArray(), QByteArray()});
    self.m_inValue = false;
    self.m_request.headers.last().first.append(QByteArray(at, qsizetype(length)).toLower());
    return 0;
}

int RequestReader::onHeaderValue(http_parser* parser, const char* at, size_t length)
{
    RequestReader& self = of(parser);
    if (!self.countHeader(length))
        return 1;
    self.m_inValue = true;
    self.m_request.headers.last().second.append(at, qsizetype(length));
    return 0;
}

int RequestReader::onHeadersComplete(http_parser* parser)
{
    RequestReader& self = of(parser);
    HttpRequest& request = self.m_request;
    for (auto& header : request.headers)
        header.second = header.second.trimmed();
    request.method = http_method_str(http_method(parser->method));
    const qsizetype mark = self.m_url.indexOf('?');
    const QByteArray path = mark < 0 ? self.m_url : self.m_url.left(mark);
    request.query = mark < 0 ? QByteArray() : self.m_url.mid(mark + 1);
    if (!path.startsWith('/')) {
        self.m_failure = 400; // absolute and authority forms are for proxies
        return 1;
    }
    request.path = QUrl::fromPercentEncoding(path);
    self.m_keepAlive = http_should_keep_alive(parser) != 0;
    self.m_headersDone = true;
    self.m_limit = self.m_bodyLimit(request);
    if ((parser->flags & F_CONTENTLENGTH) && parser->content_length > quint64(self.m_limit)) {
        self.m_failure = 413;
        return 1;
    }
    return 0;
}

int RequestReader::onBody(http_parser* parser, const char* at, size_t length)
{
    RequestReader& self = of(parser);
    // A chunked body announces no length: it is counted as it comes.
    if (self.m_request.body.size() + qsizetype(length) > self.m_limit) {
        self.m_failure = 413;
        return 1;
    }
    self.m_request.body.append(at, qsizetype(length));
    return 0;
}

int RequestReader::onMessageComplete(http_parser* parser)
{
    RequestReader& self = of(parser);
    if (!self.m_headersDone) {
        self.m_failure = 400; // a request line alone, of a protocol older than HTTP/1.0
        return 1;
    }
    self.m_ready = true;
    http_parser_pause(parser, 1);
    return 0;
}

#include "web/WebReply.h"

#include <QJsonDocument>

WebReply WebReply::json(const QJsonObject& object, int status)
{
    return {status,
            "application/json",
            QJsonDocument(object).toJson(QJsonDocument::Compact),
            {},
            false};
}

WebReply WebReply::text(int status, const QByteArray& body, const Headers& headers)
{
    return {status, "text/plain", body, headers, false};
}

WebReply WebReply::redirect(const QByteArray& location, const Headers& headers)
{
    Headers all{{"Location", location}};
    all += headers;
    return text(303, QByteArray(), all);
}

WebReply WebReply::failure(Failure failure, const QString& error)
{
    auto jsonError = [&error](int status) {
        return json({{QStringLiteral("error"), error}}, status);
    };
    switch (failure) {
    case Failure::BadRequest:
        return jsonError(400);
    case Failure::LogInFirst:
        return jsonError(401);
    case Failure::NotFromThisPage:
        return jsonError(403);
    case Failure::Conflict:
        return jsonError(409);
    case Failure::NotFound:
        // A page or route that is not there is plain text; an entry the API cannot find says so.
        if (!error.isEmpty())
            return jsonError(404);
        break;
    }
    return text(404, "Not found");
}

WebReply WebReply::liveStream()
{
    WebReply reply;
    reply.stream = true;
    return reply;
}

QByteArray WebReply::reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
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
    case 416:
        return "Range Not Satisfiable";
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

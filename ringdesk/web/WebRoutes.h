#pragma once

#include "web/HttpRequest.h"
#include "web/WebReply.h"

#include <QHash>
#include <functional>

// The API's routes: a method and a path, and the part that answers them, at once or, for a
// long read, later.
class WebRoutes
{
public:
    using Handler = std::function<WebReply(const HttpRequest& request)>;
    using Answer = std::function<void(const WebReply& reply)>;
    using LaterHandler = std::function<void(const HttpRequest& request, const Answer& answer)>;

    void add(const QByteArray& method, const QString& path, Handler handler)
    {
        addLater(method, path,
                 [handler = std::move(handler)](const HttpRequest& request, const Answer& answer) {
                     answer(handler(request));
                 });
    }
    // `handler` calls `answer` once, now or later.
    void addLater(const QByteArray& method, const QString& path, LaterHandler handler)
    {
        m_routes.insert(method + ' ' + path.toUtf8(), std::move(handler));
    }
    // The route's answer; NotFound for a request no route takes.
    void answer(const HttpRequest& request, const Answer& answer) const
    {
        const auto found = m_routes.constFind(request.method + ' ' + request.path.toUtf8());
        if (found == m_routes.cend())
            answer(WebReply::failure(WebReply::Failure::NotFound));
        else
            (*found)(request, answer);
    }

private:
    QHash<QByteArray, LaterHandler> m_routes;
};

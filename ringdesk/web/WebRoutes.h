#pragma once

#include "web/HttpRequest.h"
#include "web/WebReply.h"

#include <QHash>
#include <functional>

// The API's routes: a method and a path, and the part that answers them.
class WebRoutes
{
public:
    using Handler = std::function<WebReply(const HttpRequest& request)>;

    void add(const QByteArray& method, const QString& path, Handler handler)
    {
        m_routes.insert(method + ' ' + path.toUtf8(), std::move(handler));
    }
    // The route's answer; NotFound for a request no route takes.
    WebReply answer(const HttpRequest& request) const
    {
        const auto found = m_routes.constFind(request.method + ' ' + request.path.toUtf8());
        return found == m_routes.cend() ? WebReply::failure(WebReply::Failure::NotFound)
                                        : (*found)(request);
    }

private:
    QHash<QByteArray, Handler> m_routes;
};

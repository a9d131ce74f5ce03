#include "web/StateController.h"

#include "common/CleanText.h"

#include <QJsonDocument>

void StateController::addRoutes(WebRoutes& routes)
{
    routes.add("GET", QStringLiteral("/api/state"), [this](const HttpRequest&) {
        return WebReply::json(state ? state() : QJsonObject());
    });
    routes.add("POST", QStringLiteral("/api/block"),
               [this](const HttpRequest& request) { return blockOrUnblock(request, true); });
    routes.add("POST", QStringLiteral("/api/unblock"),
               [this](const HttpRequest& request) { return blockOrUnblock(request, false); });
    routes.add("POST", QStringLiteral("/api/permit-next"), [this](const HttpRequest&) {
        if (!m_screen.permitNext())
            return WebReply::failure(WebReply::Failure::Conflict,
                                     QStringLiteral("screening is off"));
        return WebReply::json({{QStringLiteral("permitted"), true}});
    });
}

WebReply StateController::blockOrUnblock(const HttpRequest& request, bool block)
{
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    const QString number = CleanText::field(body.value(QStringLiteral("number")).toString());
    const QString name = CleanText::field(body.value(QStringLiteral("name")).toString());
    const bool done = block ? m_screen.block(number) : m_screen.unblock(number, name);
    if (!done)
        return WebReply::failure(WebReply::Failure::BadRequest,
                                 QStringLiteral("see the monitor's events"));
    return WebReply::json({{QStringLiteral("listed"), m_screen.isBlocked(number, name)}});
}

#include "web/ListsController.h"

#include <QJsonArray>
#include <QJsonDocument>

void ListsController::addRoutes(WebRoutes& routes)
{
    for (const auto& [path, which] :
         {std::pair(QStringLiteral("/api/blocked"), CallScreen::List::Blocked),
          std::pair(QStringLiteral("/api/allowed"), CallScreen::List::Allowed)})
        for (const QByteArray method : {"GET", "POST", "DELETE"})
            routes.add(method, path, [this, list = which](const HttpRequest& request) {
                return this->list(request, list);
            });
    for (const QByteArray method : {"GET", "DELETE"})
        routes.add(method, QStringLiteral("/api/sources"),
                   [this](const HttpRequest& request) { return sources(request); });
}

WebReply ListsController::list(const HttpRequest& request, CallScreen::List list)
{
    if (request.method != "GET") {
        const QString entry = QJsonDocument::fromJson(request.body)
                                  .object()
                                  .value(QStringLiteral("entry"))
                                  .toString();
        QString error;
        if (request.method == "POST" && !m_screen.addEntry(list, entry, &error))
            return WebReply::failure(WebReply::Failure::BadRequest, error);
        if (request.method == "DELETE") {
            const int removed = m_screen.removeEntry(list, entry, &error);
            if (removed < 0)
                return WebReply::failure(WebReply::Failure::BadRequest, error);
            if (removed == 0)
                return WebReply::failure(
                    WebReply::Failure::NotFound,
                    QStringLiteral("\"%1\" is not on the list").arg(entry.trimmed().left(64)));
        }
    }
    QJsonArray problems;
    for (const ScreeningList::Problem& problem : m_screen.problems(list))
        problems.append(QJsonObject{{QStringLiteral("line"), problem.line},
                                    {QStringLiteral("text"), problem.text},
                                    {QStringLiteral("reason"), problem.reason}});
    return WebReply::json(
        {{QStringLiteral("entries"), QJsonArray::fromStringList(m_screen.entries(list))},
         {QStringLiteral("problems"), problems}});
}

WebReply ListsController::sources(const HttpRequest& request)
{
    if (request.method == "DELETE") {
        QString error;
        const QString source = QJsonDocument::fromJson(request.body)
                                   .object()
                                   .value(QStringLiteral("source"))
                                   .toString();
        if (!m_screen.dropSource(source, &error))
            return WebReply::failure(WebReply::Failure::BadRequest, error);
    }
    QJsonArray sources;
    for (const ImportedLists::Source& source : m_screen.importedSources())
        sources.append(QJsonObject{
            {QStringLiteral("name"), source.name},
            {QStringLiteral("numbers"), qint64(source.numbers)},
            {QStringLiteral("imported"), source.imported.toUTC().toString(Qt::ISODate)}});
    return WebReply::json({{QStringLiteral("sources"), sources}});
}

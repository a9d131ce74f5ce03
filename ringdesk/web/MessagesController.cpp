#include "web/MessagesController.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void MessagesController::addRoutes(WebRoutes& routes)
{
    routes.add("GET", QStringLiteral("/api/messages"),
               [this](const HttpRequest&) { return list(); });
    routes.add("GET", QStringLiteral("/api/message"),
               [this](const HttpRequest& request) { return audio(request); });
    routes.add("POST", QStringLiteral("/api/message/delete"),
               [this](const HttpRequest& request) { return remove(request); });
}

WebReply MessagesController::list() const
{
    QJsonArray messages;
    const QList<CallHistory::Message> all = m_history.messages();
    for (auto message = all.crbegin(); message != all.crend(); ++message)
        messages.append(QJsonObject{{QStringLiteral("id"), message->id},
                                    {QStringLiteral("call_id"), message->callId},
                                    {QStringLiteral("seconds"), message->seconds},
                                    {QStringLiteral("heard"), message->heard},
                                    {QStringLiteral("received"), message->received},
                                    {QStringLiteral("number"), message->number},
                                    {QStringLiteral("name"), message->name},
                                    {QStringLiteral("contact"), message->contact}});
    return WebReply::json(QJsonObject{{QStringLiteral("messages"), messages}});
}

std::optional<std::pair<qint64, qint64>> MessagesController::range(const QByteArray& field,
                                                                   qint64 size)
{
    // One range only: that is what audio elements ask for.
    if (!field.startsWith("bytes=") || field.contains(',') || size <= 0)
        return std::nullopt;
    const QByteArray asked = field.mid(6).trimmed();
    const qsizetype dash = asked.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    bool firstOk = false;
    bool lastOk = false;
    const qint64 first = asked.left(dash).toLongLong(&firstOk);
    const qint64 last = asked.mid(dash + 1).toLongLong(&lastOk);
    if (dash == 0) { // the last `last` bytes
        if (!lastOk || last <= 0)
            return std::nullopt;
        return std::pair(std::max<qint64>(0, size - last), size - 1);
    }
    if (!firstOk || first < 0 || first >= size)
        return std::nullopt;
    if (asked.size() == dash + 1)
        return std::pair(first, size - 1);
    if (!lastOk || last < first)
        return std::nullopt;
    return std::pair(first, std::min(last, size - 1));
}

WebReply MessagesController::audio(const HttpRequest& request)
{
    const CallHistory::Message message = m_history.message(request.queryValue("id").toLongLong());
    QFile file(message.file);
    if (message.file.isEmpty() || !file.open(QIODevice::ReadOnly))
        return WebReply::failure(WebReply::Failure::NotFound);
    const qint64 size = file.size();
    WebReply reply{200, "audio/wav", QByteArray(), {{"Accept-Ranges", "bytes"}}, false};
    const QByteArray asked = request.header("range");
    if (asked.isEmpty()) {
        reply.body = file.readAll();
    } else if (const auto part = range(asked, size)) {
        file.seek(part->first);
        reply.status = 206;
        reply.body = file.read(part->second - part->first + 1);
        reply.headers.append({"Content-Range", "bytes " + QByteArray::number(part->first) + '-' +
                                                   QByteArray::number(part->second) + '/' +
                                                   QByteArray::number(size)});
    } else {
        return WebReply::text(416, QByteArray(),
                              {{"Content-Range", "bytes */" + QByteArray::number(size)}});
    }
    if (!message.heard)
        m_history.setHeard(message.file);
    return reply;
}

WebReply MessagesController::remove(const HttpRequest& request)
{
    const qint64 id = QJsonDocument::fromJson(request.body).object().value("id").toInteger();
    const CallHistory::Message message = m_history.message(id);
    if (message.file.isEmpty())
        return WebReply::failure(WebReply::Failure::NotFound, QStringLiteral("no such message"));
    QFile::remove(message.file);
    m_history.removeMessage(message.file);
    return WebReply::json(QJsonObject{{QStringLiteral("deleted"), id}});
}

#include "web/CallsController.h"
#include "common/Clock.h"

#include <QJsonArray>

CallsController::CallsController(CallScreen& screen, CallHistory& history)
    : m_screen(screen), m_history(history)
{
}

void CallsController::addRoutes(WebRoutes& routes)
{
    routes.add("GET", QStringLiteral("/api/calls"),
               [this](const HttpRequest& request) { return calls(request); });
    routes.add("GET", QStringLiteral("/api/calls.csv"),
               [this](const HttpRequest&) { return csv(); });
    routes.add("GET", QStringLiteral("/api/stats"),
               [this](const HttpRequest& request) { return stats(request); });
}

QJsonObject CallsController::json(const CallRecord& call, bool fresh)
{
    return QJsonObject{
        {QStringLiteral("id"), call.historyId},
        {QStringLiteral("call_id"), call.id},
        {QStringLiteral("date"), call.date},
        {QStringLiteral("time"), call.time},
        {QStringLiteral("received"), call.received.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("number"), call.number},
        {QStringLiteral("e164"), call.e164},
        {QStringLiteral("name"), call.name},
        {QStringLiteral("contact"), call.contactName},
        {QStringLiteral("contact_uid"), call.contactUid},
        {QStringLiteral("blocked"), call.blocked},
        {QStringLiteral("block_rule"), call.blockRule},
        {QStringLiteral("source"), call.source},
        {QStringLiteral("outcome"), call.outcome},
        {QStringLiteral("duration"), call.duration},
        // What the row's one button offers: the lists as they stand now.
        {QStringLiteral("listed"), m_screen.isBlocked(call.number, call.name, fresh)},
    };
}

WebReply CallsController::calls(const HttpRequest& request)
{
    const QString asked = request.queryValue(QStringLiteral("limit"));
    const int limit = asked.isEmpty() ? 50 : std::clamp(asked.toInt(), 1, 500);
    QJsonArray calls;
    for (const CallRecord& call : m_history.page(
             limit, request.queryValue(QStringLiteral("before")).toLongLong(),
             request.queryValue(QStringLiteral("q")), request.queryValue(QStringLiteral("number"))))
        calls.append(json(call, calls.isEmpty()));
    return WebReply::json({{QStringLiteral("calls"), calls}});
}

WebReply CallsController::stats(const HttpRequest& request) const
{
    const QString asked = request.queryValue(QStringLiteral("days"));
    const int days = asked.isEmpty() ? 30 : std::clamp(asked.toInt(), 1, 366);
    const QDate today = Clock::now().toLocalTime().date();
    QJsonArray perDay;
    for (const CallHistory::Day& day : m_history.days(days, today))
        perDay.append(QJsonObject{{QStringLiteral("date"), day.date.toString(Qt::ISODate)},
                                  {QStringLiteral("calls"), day.calls},
                                  {QStringLiteral("blocked"), day.blocked}});
    QJsonArray top;
    for (const CallHistory::Caller& caller : m_history.topCallers(days, today, 10))
        top.append(QJsonObject{{QStringLiteral("number"), caller.number},
                               {QStringLiteral("name"), caller.name},
                               {QStringLiteral("contact"), caller.contact},
                               {QStringLiteral("calls"), caller.calls}});
    return WebReply::json({{QStringLiteral("days"), perDay}, {QStringLiteral("top"), top}});
}

WebReply CallsController::csv() const
{
    // A spreadsheet runs a cell that starts with one of these as a formula; a caller's name
    // must never be one.
    auto cell = [](QString text) {
        if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.at(0)))
            text.prepend(u'\'');
        if (text.contains(u'"') || text.contains(u',') || text.contains(u'\n'))
            text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
        return text;
    };
    QByteArray csv = "id,call_id,received,date,time,number,e164,name,contact,contact_uid,blocked,"
                     "block_rule,source,outcome,duration\r\n";
    m_history.forEach([&](const CallRecord& call) {
        const QStringList cells{QString::number(call.historyId),
                                call.id,
                                call.received.toUTC().toString(Qt::ISODate),
                                call.date,
                                call.time,
                                call.number,
                                call.e164,
                                call.name,
                                call.contactName,
                                call.contactUid,
                                call.blocked ? QStringLiteral("1") : QStringLiteral("0"),
                                call.blockRule,
                                call.source,
                                call.outcome,
                                QString::number(call.duration)};
        QStringList out;
        for (const QString& text : cells)
            out << cell(text);
        csv += out.join(u',').toUtf8() + "\r\n";
    });
    WebReply reply =
        WebReply::text(200, csv, {{"Content-Disposition", "attachment; filename=\"calls.csv\""}});
    reply.type = "text/csv; charset=utf-8";
    return reply;
}

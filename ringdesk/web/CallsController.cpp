#include "web/CallsController.h"
#include "common/Clock.h"

#include <QJsonArray>

CallsController::CallsController(CallScreen& screen, CallHistory& history, QObject* context)
    : m_screen(screen), m_history(history), m_context(context)
{
}

void CallsController::addRoutes(WebRoutes& routes)
{
    routes.addLater("GET", QStringLiteral("/api/calls"),
                    [this](const HttpRequest& request, const WebRoutes::Answer& answer) {
                        calls(request, answer);
                    });
    routes.addLater("GET", QStringLiteral("/api/calls.csv"),
                    [this](const HttpRequest&, const WebRoutes::Answer& answer) { csv(answer); });
    routes.addLater("GET", QStringLiteral("/api/stats"),
                    [this](const HttpRequest& request, const WebRoutes::Answer& answer) {
                        stats(request, answer);
                    });
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
        {QStringLiteral("message"),
         call.messageSeconds < 0
             ? QJsonValue()
             : QJsonValue(QJsonObject{{QStringLiteral("seconds"), call.messageSeconds},
                                      {QStringLiteral("heard"), call.messageHeard}})},
        // What the row's one button offers: the lists as they stand now.
        {QStringLiteral("listed"), m_screen.isBlocked(call.number, call.name, fresh)},
    };
}

// The history is read apart from the event loop: a search through a long history, an export or a
// year's numbers must not keep a call waiting.
void CallsController::calls(const HttpRequest& request, const WebRoutes::Answer& answer)
{
    const QString asked = request.queryValue(QStringLiteral("limit"));
    const int limit = asked.isEmpty() ? 50 : std::clamp(asked.toInt(), 1, 500);
    m_history.readApart(
        m_context,
        [limit, before = request.queryValue(QStringLiteral("before")).toLongLong(),
         query = request.queryValue(QStringLiteral("q")),
         number = request.queryValue(QStringLiteral("number"))](const HistoryReader& reader) {
            return reader.page(limit, before, query, number);
        },
        [this, answer](const QList<CallRecord>& page) {
            QJsonArray calls;
            for (const CallRecord& call : page)
                calls.append(json(call, calls.isEmpty()));
            answer(WebReply::json({{QStringLiteral("calls"), calls}}));
        });
}

void CallsController::stats(const HttpRequest& request, const WebRoutes::Answer& answer)
{
    const QString asked = request.queryValue(QStringLiteral("days"));
    const int days = asked.isEmpty() ? 30 : std::clamp(asked.toInt(), 1, 366);
    const QDate today = Clock::now().toLocalTime().date();
    m_history.readApart(
        m_context,
        [days, today](const HistoryReader& reader) {
            QJsonArray perDay;
            for (const HistoryReader::Day& day : reader.days(days, today))
                perDay.append(QJsonObject{{QStringLiteral("date"), day.date.toString(Qt::ISODate)},
                                          {QStringLiteral("calls"), day.calls},
                                          {QStringLiteral("blocked"), day.blocked}});
            QJsonArray perHour;
            for (const HistoryReader::Hour& hour : reader.hours(days, today))
                perHour.append(QJsonObject{{QStringLiteral("calls"), hour.calls},
                                           {QStringLiteral("blocked"), hour.blocked}});
            QJsonArray top;
            for (const HistoryReader::Caller& caller : reader.topCallers(days, today, 10))
                top.append(QJsonObject{{QStringLiteral("number"), caller.number},
                                       {QStringLiteral("name"), caller.name},
                                       {QStringLiteral("contact"), caller.contact},
                                       {QStringLiteral("calls"), caller.calls}});
            return QJsonObject{{QStringLiteral("days"), perDay},
                               {QStringLiteral("hours"), perHour},
                               {QStringLiteral("top"), top}};
        },
        [answer](const QJsonObject& stats) { answer(WebReply::json(stats)); });
}

QByteArray CallsController::csvLine(const CallRecord& call)
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
                            QString::number(call.duration),
                            call.messageSeconds < 0 ? QString()
                                                    : QString::number(call.messageSeconds)};
    QStringList out;
    for (const QString& text : cells)
        out << cell(text);
    return out.join(u',').toUtf8() + "\r\n";
}

void CallsController::csv(const WebRoutes::Answer& answer)
{
    m_history.readApart(
        m_context,
        [](const HistoryReader& reader) {
            QByteArray csv =
                "id,call_id,received,date,time,number,e164,name,contact,contact_uid,blocked,"
                "block_rule,source,outcome,duration,message\r\n";
            reader.forEach([&csv](const CallRecord& call) { csv += csvLine(call); });
            return csv;
        },
        [this, answer](QByteArray csv) {
            // Those waiting for the database are the newest.
            for (const CallRecord& call : m_history.waitingCalls())
                csv += csvLine(call);
            WebReply reply = WebReply::text(
                200, csv, {{"Content-Disposition", "attachment; filename=\"calls.csv\""}});
            reply.type = "text/csv; charset=utf-8";
            answer(reply);
        });
}

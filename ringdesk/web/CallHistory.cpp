#include "web/CallHistory.h"

#include "numbers/PhoneNumber.h"

namespace {

CallHistory::Call fromLogLine(const QString& line)
{
    CallHistory::Call call;
    call.date = line.section(u' ', 0, 0);
    call.time = line.section(u' ', 1, 1);
    const QString rest = line.section(u' ', 2);
    call.number = CallRecord::numberInLogLine(line);
    if (call.number.isEmpty()) {
        for (const QLatin1String word : {QLatin1String("Out of Area"), QLatin1String("Private")})
            if (rest.startsWith(word))
                call.number = word;
    }
    call.name = rest.mid(rest.indexOf(call.number) + call.number.size()).trimmed();
    return call;
}

} // namespace

QJsonObject CallHistory::Call::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},           {QStringLiteral("date"), date},
        {QStringLiteral("time"), time},       {QStringLiteral("number"), number},
        {QStringLiteral("name"), name},       {QStringLiteral("contact"), contact},
        {QStringLiteral("blocked"), blocked}, {QStringLiteral("block_rule"), blockRule}};
}

void CallHistory::load(const QStringList& lines)
{
    m_calls.reserve(m_calls.size() + size_t(lines.size()));
    for (const QString& line : lines) {
        Call call = fromLogLine(line);
        call.id = qint64(m_calls.size()) + 1;
        m_calls.push_back(std::move(call));
    }
}

const CallHistory::Call& CallHistory::add(const CallRecord& record)
{
    Call call;
    call.id = qint64(m_calls.size()) + 1;
    call.date = record.date;
    call.time = record.time;
    call.number = record.number;
    call.name = record.name;
    if (record.contactFound)
        call.contact = (record.contactFirst + u' ' + record.contactLast).trimmed();
    if (call.contact.isEmpty())
        call.contact = record.contactCompany;
    call.blocked = record.blocked;
    call.blockRule = record.blockRule;
    m_calls.push_back(std::move(call));
    return m_calls.back();
}

QList<CallHistory::Call> CallHistory::page(int limit, qint64 before, const QString& query) const
{
    QList<Call> calls;
    const QString text = query.trimmed();
    const QString digits = PhoneNumber::digits(text);
    const bool byDigits = !digits.isEmpty() && PhoneNumber::writtenAsNumber(text);
    qint64 i = before > 0 ? std::min(before - 1, qint64(m_calls.size())) : qint64(m_calls.size());
    while (--i >= 0 && calls.size() < limit) {
        const Call& call = m_calls[size_t(i)];
        const bool matches = text.isEmpty() || call.name.contains(text, Qt::CaseInsensitive) ||
                             call.number.contains(text, Qt::CaseInsensitive) ||
                             (byDigits && PhoneNumber::digits(call.number).contains(digits));
        if (matches)
            calls.append(call);
    }
    return calls;
}

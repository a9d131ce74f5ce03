#include "calls/EventLog.h"

#include "common/CleanText.h"

void EventLog::append(const QString& text, Kind kind)
{
    // Event lines quote settings, files, the broker and the modem as they stand.
    m_events.append({QDateTime::currentDateTimeUtc(), kind, CleanText::field(text)});
    if (m_events.size() > Kept)
        m_events.removeFirst();
    emit added(m_events.last());
}

QStringList EventLog::lines() const
{
    return last(int(m_events.size()));
}

QStringList EventLog::last(int count) const
{
    QStringList texts;
    for (qsizetype i = std::max<qsizetype>(0, m_events.size() - count); i < m_events.size(); ++i)
        texts << m_events.at(i).text;
    return texts;
}

void EventLog::append(const QStringList& lines)
{
    for (const QString& line : lines)
        append(line);
}

void EventLog::clear()
{
    m_events.clear();
    emit cleared();
}

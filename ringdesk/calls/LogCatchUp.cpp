#include "calls/LogCatchUp.h"

#include "calls/CallLogFile.h"

namespace {

// "MM/DD" and "HH:MM" in the given year, as a local time; invalid when they do not read.
QDateTime localTime(const CallRecord& call, int year)
{
    const QDate date(year, call.date.left(2).toInt(), call.date.mid(3, 2).toInt());
    const QTime time(call.time.left(2).toInt(), call.time.mid(3, 2).toInt());
    return QDateTime(date, time.isValid() ? time : QTime(0, 0));
}

} // namespace

QList<LogCatchUp::LoggedCall>
LogCatchUp::missing(const QStringList& logRecords, const std::function<bool(qint64)>& inHistory,
                    const QDateTime& now, const std::function<QString(const QString&)>& e164)
{
    // The years are reckoned from the newest record back, over every record, present or not.
    QList<CallRecord> calls;
    calls.reserve(logRecords.size());
    for (const QString& record : logRecords)
        calls.append(CallLogFile::callOfRecord(record));
    int year = now.date().year();
    QDateTime later = now;
    for (qsizetype i = calls.size() - 1; i >= 0; --i) {
        QDateTime when = localTime(calls.at(i), year);
        if (when.isValid() && when > later) {
            --year;
            when = localTime(calls.at(i), year);
        }
        calls[i].received = when.isValid() ? when : now;
        if (when.isValid())
            later = when;
    }
    QList<LoggedCall> missing;
    for (qsizetype i = 0; i < calls.size(); ++i) {
        if (inHistory(i))
            continue;
        CallRecord& call = calls[i];
        if (call.withheld == CallRecord::Withheld::No && e164)
            call.e164 = e164(call.number);
        call.id = QStringLiteral("log-%1").arg(i);
        missing.append({call, i});
    }
    return missing;
}

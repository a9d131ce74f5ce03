#pragma once

#include "calls/CallRecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <vector>

// Every call of the call log, for the web page: the lines of the log as read at start, and each
// call as it is logged, numbered in order (the newest has the highest id).
class CallHistory
{
public:
    struct Call
    {
        qint64 id = 0;
        QString date;
        QString time;
        QString number;
        QString name;
        QString contact; // for calls logged since the start, when one was found
        bool blocked = false;
        QString blockRule;
        QJsonObject toJson() const;
    };

    // Lines of the call log, oldest first.
    void load(const QStringList& lines);
    const Call& add(const CallRecord& call);
    qsizetype size() const { return qsizetype(m_calls.size()); }

    // Up to `limit` calls older than `before` (0: from the newest), newest first; with `query`,
    // only those whose name or number holds it (without regard to case; digits also as digits).
    QList<Call> page(int limit, qint64 before, const QString& query) const;

private:
    std::vector<Call> m_calls;
};

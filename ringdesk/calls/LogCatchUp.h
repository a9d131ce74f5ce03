#pragma once

#include "calls/CallRecord.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>

// The calls of CallLog.txt that the history lacks (an older log, calls logged while the
// database could not be written), read back from their records for the history to add at start.
namespace LogCatchUp {

struct LoggedCall
{
    CallRecord call;
    qint64 logRecord = 0; // its place in CallLog.txt, from 0
};

// The calls of `logRecords` (oldest first) for which `inHistory(place)` is false. A record has no
// year: each gets the latest that keeps the file's order and puts no call after `now`. Numbers
// that are not withheld get their E.164 form from `e164`, when given.
QList<LoggedCall> missing(const QStringList& logRecords,
                          const std::function<bool(qint64)>& inHistory, const QDateTime& now,
                          const std::function<QString(const QString&)>& e164);

} // namespace LogCatchUp

#pragma once

#include "calls/CallRecord.h"

#include <QDate>
#include <QList>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// What is read from calls.sqlite: a page of calls, all of them, the numbers of the last days.
// On the history's own connection, or on a read-only one of its own, for a thread that reads
// while the history goes on writing.
class HistoryReader
{
public:
    static const char* const columns; // of a call, in the order fromRow() reads them

    // Reads on the history's connection (none: reads nothing).
    explicit HistoryReader(sqlite3* db) : m_db(db) {}
    // Reads `path` on a connection of its own; nothing when it cannot be opened.
    explicit HistoryReader(const QString& path);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // Up to `limit` calls older than the call `before` (0: from the newest), newest first; with
    // `query`, those whose name, contact or number (in any punctuation) holds it; with `number`,
    // the calls of that number alone.
    QList<CallRecord> page(int limit, qint64 before, const QString& query,
                           const QString& number = QString()) const;
    // Every call, oldest first, one at a time.
    void forEach(const std::function<void(const CallRecord&)>& each) const;

    struct Day
    {
        QDate date;
        int calls = 0;
        int blocked = 0;
    };
    // The last `days` days up to `today`, by the computer's local date of the call.
    QList<Day> days(int days, const QDate& today) const;
    struct Hour
    {
        int calls = 0;
        int blocked = 0;
    };
    // The calls of the last `days` days up to `today` by the computer's local hour of the day:
    // 24 of them, midnight's first.
    QList<Hour> hours(int days, const QDate& today) const;
    struct Caller
    {
        QString number;
        QString name;
        QString contact;
        int calls = 0;
    };
    // The callers who called most in the last `days` days, most first.
    QList<Caller> topCallers(int days, const QDate& today, int limit) const;

    static CallRecord fromRow(sqlite3_stmt* row);

private:
    sqlite3* m_db = nullptr;
    bool m_owned = false;
};

#pragma once

#include "calls/CallRecord.h"
#include "calls/HistoryReader.h"
#include "common/Clock.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

struct sqlite3;

// Every call, remembered whole in calls.sqlite beside CallLog.txt: one row per call with what
// the call value carries, so that a call keeps its contact and block mark across restarts, and
// the window, the web page and the household's other programs read the history instead of lines
// of text. CallLog.txt stays as it is and is written first; calls it holds that the database
// lacks (an older log, calls logged while the database could not be written) are added once at
// start. A database that cannot be written never loses a call: it waits in memory and is
// written as soon as the database can be; a damaged one is moved aside and made anew from
// CallLog.txt.
class CallHistory : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* fileName = "calls.sqlite";

    explicit CallHistory(QObject* parent = nullptr);
    ~CallHistory() override;

    // Opens `folder`/calls.sqlite (the folder ends in "/") and adds what `logRecords` (the
    // records of CallLog.txt, oldest first) holds that the database lacks. `now` is the time the
    // records' years are reckoned from.
    void open(const QString& folder, const QStringList& logRecords,
              const QDateTime& now = Clock::now());
    // How a number of CallLog.txt is written as E.164 (the user's numbering plan), for the calls
    // added from it.
    void setE164(std::function<QString(const QString&)> e164) { m_e164 = std::move(e164); }
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // A call as it is logged; `inLog`, whether CallLog.txt took it (as its next record). Its id
    // in the history; 0 while it waits for the database.
    qint64 add(const CallRecord& call, bool inLog);
    // The call `callId`, which waited for CallLog.txt, is its next record now.
    void loggedLater(const QString& callId);
    // How the call of that row ended, once it is known: "answered" for `duration` seconds, or
    // "missed". The row of a call still waiting for the database is found by the call's id.
    void setOutcome(qint64 historyId, const QString& callId, const QString& outcome, int duration);
    // A message the caller of `callId` left, in `file`, `seconds` long (0 while it is being
    // recorded); unheard. Added again, its row is replaced.
    void addMessage(const QString& callId, const QString& file, int seconds);
    void removeMessage(const QString& file);
    void setHeard(const QString& file);
    int unheardMessages() const;
    struct Message
    {
        QString callId;
        QString file;
        int seconds = 0;
        bool heard = false;
        qint64 id = 0;
        QString received;
        // Its call, as the history has it.
        QString number;
        QString name;
        QString contact;
    };
    // The message of row `id`; one with an empty file when there is none.
    Message message(qint64 id) const;
    // Every message, oldest first; `ok` false when the history could not be read.
    QList<Message> messages(bool* ok = nullptr) const;
    // Every call gone, as when the call log is cleared.
    void clear();

    // The calls, oldest first (those waiting for the database last): how many, and one by its
    // place.
    qint64 count() const;
    std::optional<CallRecord> at(qint64 row) const;
    // Up to `limit` calls older than the call `before` (0: from the newest), newest first; with
    // `query`, those whose name, contact or number (in any punctuation) holds it; with `number`,
    // the calls of that number alone.
    QList<CallRecord> page(int limit, qint64 before, const QString& query,
                           const QString& number = QString()) const;
    // Every call stored, oldest first, one at a time.
    void forEach(const std::function<void(const CallRecord&)>& each) const;
    using Day = HistoryReader::Day;
    QList<Day> days(int days, const QDate& today) const;
    using Caller = HistoryReader::Caller;
    QList<Caller> topCallers(int days, const QDate& today, int limit) const;
    // The calls waiting for the database, oldest first: they follow the stored ones.
    QList<CallRecord> waitingCalls() const;
    // The id of the newest call stored; 0 for none.
    qint64 newestId() const;

    // Runs `read` on a thread of the history's own, on a read-only connection of its own, so
    // that a long read (an export, a year's numbers, an NCID client's log) leaves the event loop
    // to the calls; then `done` with what it returned, on `context`'s thread, unless `context`
    // is gone by then. Reads run one at a time, in the order asked.
    template <typename Read, typename Done> void readApart(QObject* context, Read read, Done done)
    {
        using Result = std::invoke_result_t<Read, const HistoryReader&>;
        auto result = std::make_shared<Result>();
        runApart(
            context,
            [read = std::move(read), result](const HistoryReader& reader) {
                *result = read(reader);
            },
            [done = std::move(done), result] { done(std::move(*result)); });
    }

    // Tests hold the clock still and see the calls waiting for the database.
    qsizetype waiting() const { return m_waiting.size(); }

signals:
    void eventLine(const QString& line);
    // Calls were added, or all went.
    void changed();
    // A message was kept for the call `callId`.
    void messageKept(const QString& callId, int seconds);

private:
    // `sql` with the message's file for its one parameter.
    void changeMessage(const char* sql, const QString& file);
    struct Waiting
    {
        CallRecord call;
        qint64 logRecord = -1;
    };
    bool openFile();
    bool prepare();
    // False when the history could not be read or written now.
    bool catchUp(const QStringList& logRecords, const QDateTime& now);
    // The first `records` of CallLog.txt as it is now (all of them for -1).
    bool catchUpFromFile(qsizetype records);
    bool insert(const CallRecord& call, qint64 logRecord);
    void writeWaiting();
    // Moves a damaged file aside and starts a new one; false when even that fails.
    bool startAgain(const QString& why);
    void report(const QString& what);
    qint64 stored() const;
    void runApart(QObject* context, std::function<void(const HistoryReader&)> work,
                  std::function<void()> done);
    // Why the last call failed; `code`, when given, is the failure's own.
    QString lastError(int code = 0) const;

    sqlite3* m_db = nullptr;
    struct sqlite3_stmt* m_insert = nullptr; // prepared once: a log is added a call at a time
    QString m_path;
    QString m_folder;
    qint64 m_logRecords = 0; // records CallLog.txt holds
    QList<Waiting> m_waiting;
    std::function<QString(const QString&)> m_e164;
    QTimer m_retry;
    bool m_reported = false;     // the database's trouble is in the event list already
    qsizetype m_catchUpDue = -1; // the records of CallLog.txt at open, while not caught up
    // Last, so that reads still running end before the rest goes.
    std::unique_ptr<QThreadPool> m_readers;
};

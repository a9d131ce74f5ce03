#include "calls/CallHistory.h"
#include "common/Clock.h"

#include "calls/CallLogFile.h"
#include "calls/LogCatchUp.h"
#include "calls/SqlStatement.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>
#include <sqlite3.h>

namespace {

// Each column is documented in the README: other programs read this file.
const char* const schema = R"(
CREATE TABLE IF NOT EXISTS calls (
    id INTEGER PRIMARY KEY,
    call_id TEXT NOT NULL,
    received TEXT NOT NULL,
    local_date TEXT NOT NULL,
    line_date TEXT NOT NULL,
    line_time TEXT NOT NULL,
    number TEXT NOT NULL,
    e164 TEXT NOT NULL,
    name TEXT NOT NULL,
    digits TEXT NOT NULL,
    contact_uid TEXT NOT NULL,
    contact_name TEXT NOT NULL,
    blocked INTEGER NOT NULL,
    block_rule TEXT NOT NULL,
    source TEXT NOT NULL,
    outcome TEXT NOT NULL,
    duration INTEGER NOT NULL,
    log_record INTEGER UNIQUE
);
CREATE INDEX IF NOT EXISTS calls_local_date ON calls(local_date);
CREATE TABLE IF NOT EXISTS messages (
    id INTEGER PRIMARY KEY,
    call_id TEXT NOT NULL,
    file TEXT NOT NULL UNIQUE,
    seconds INTEGER NOT NULL,
    heard INTEGER NOT NULL DEFAULT 0,
    received TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS messages_call ON messages(call_id);
CREATE INDEX IF NOT EXISTS calls_e164 ON calls(e164);
CREATE INDEX IF NOT EXISTS calls_call_id ON calls(call_id);
CREATE VIRTUAL TABLE IF NOT EXISTS calls_text USING fts5(
    name, contact_name, digits, content='calls', content_rowid='id', tokenize='trigram');
CREATE TRIGGER IF NOT EXISTS calls_text_add AFTER INSERT ON calls BEGIN
    INSERT INTO calls_text(rowid, name, contact_name, digits)
    VALUES (new.id, new.name, new.contact_name, new.digits);
END;
CREATE TRIGGER IF NOT EXISTS calls_text_remove AFTER DELETE ON calls BEGIN
    INSERT INTO calls_text(calls_text, rowid, name, contact_name, digits)
    VALUES ('delete', old.id, old.name, old.contact_name, old.digits);
END;
)";

using Statement = SqlStatement;

bool damaged(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace

CallHistory::CallHistory(QObject* parent)
    : QObject(parent), m_readers(std::make_unique<QThreadPool>())
{
    m_readers->setMaxThreadCount(1);
    m_retry.setSingleShot(true);
    m_retry.setInterval(5000);
    connect(&m_retry, &QTimer::timeout, this, &CallHistory::writeWaiting);
}

CallHistory::~CallHistory()
{
    close();
}

void CallHistory::close()
{
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

QString CallHistory::lastError(int code) const
{
    // The connection's message is the last call's: a statement finalized or a rollback since
    // the failure leaves "not an error" or a reason of its own, so the failure's code speaks.
    if (code != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errstr(code));
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("not open");
}

void CallHistory::report(const QString& what)
{
    if (m_reported)
        return;
    m_reported = true;
    emit eventLine(QStringLiteral("[History %1: %2; the call is in CallLog.txt and goes into the "
                                  "history once it can be written]")
                       .arg(m_path, what));
}

bool CallHistory::openFile()
{
    close();
    const QByteArray path = QFile::encodeName(m_path);
    const int code =
        sqlite3_open_v2(path.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        emit eventLine(
            QStringLiteral("[History %1 cannot be opened: %2]").arg(m_path, lastError()));
        close();
        return false;
    }
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    // Another program reading or writing must never make a call wait: a lock is a failure now,
    // and the call is written later.
    sqlite3_busy_timeout(m_db, 0);
    return true;
}

bool CallHistory::prepare()
{
    char* error = nullptr;
    // A small page cache: the history is read a page at a time, and a home server's memory is
    // better spent elsewhere. A small write-ahead log, checkpointed every 100 pages and cut back
    // to 256 KB: on a nearly full disk it must not be what holds the space.
    int code = sqlite3_exec(m_db,
                            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                            "PRAGMA cache_size=-512; PRAGMA wal_autocheckpoint=100; "
                            "PRAGMA journal_size_limit=262144;",
                            nullptr, nullptr, &error);
    sqlite3_free(error);
    if (code == SQLITE_OK) {
        Statement check(m_db, "PRAGMA quick_check(1)");
        code = check ? check.step() : sqlite3_errcode(m_db);
        if (code == SQLITE_ROW && check.text(0) != QLatin1String("ok"))
            code = SQLITE_CORRUPT;
        else if (code == SQLITE_ROW)
            code = SQLITE_OK;
    }
    if (code == SQLITE_OK)
        code = sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr);
    if (damaged(code))
        return startAgain(lastError(code));
    if (code != SQLITE_OK) {
        report(lastError(code));
        return true; // read what can be read; writes wait
    }
    return true;
}

bool CallHistory::startAgain(const QString& why)
{
    close();
    const QString aside = m_path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (QFile::exists(m_path + suffix))
            QFile::rename(m_path + suffix, aside + suffix);
    emit eventLine(QStringLiteral("[History %1 was damaged (%2); kept as %3 and made anew from "
                                  "CallLog.txt]")
                       .arg(m_path, why, aside));
    if (!openFile())
        return false;
    return sqlite3_exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                        nullptr, nullptr) == SQLITE_OK &&
           sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void CallHistory::open(const QString& folder, const QStringList& logRecords, const QDateTime& now)
{
    m_folder = folder;
    m_path = folder + QLatin1String(fileName);
    m_logRecords = logRecords.size();
    if (!QDir::isAbsolutePath(folder) || !openFile())
        return;
    if (!prepare())
        return;
    if (!catchUp(logRecords, now)) {
        // Held by another program: the records of now are added first once it can be written,
        // before any call that comes meanwhile, so the history stays in the calls' order.
        m_catchUpDue = logRecords.size();
        m_retry.start();
    }
    emit changed();
}

bool CallHistory::catchUp(const QStringList& logRecords, const QDateTime& now)
{
    Statement present(m_db, "SELECT count(log_record), max(log_record) FROM calls");
    if (!present)
        return false;
    if (const int code = present.step(); code != SQLITE_ROW) {
        report(lastError(code));
        return false;
    }
    const qint64 count = sqlite3_column_int64(present.get(), 0);
    const qint64 highest = sqlite3_column_type(present.get(), 1) == SQLITE_NULL
                               ? -1
                               : sqlite3_column_int64(present.get(), 1);
    if (count == logRecords.size() && highest == count - 1)
        return true;
    QSet<qint64> have;
    if (count != highest + 1) {
        Statement all(m_db, "SELECT log_record FROM calls WHERE log_record IS NOT NULL");
        while (all.step() == SQLITE_ROW)
            have.insert(sqlite3_column_int64(all.get(), 0));
    }
    const QList<LogCatchUp::LoggedCall> missing = LogCatchUp::missing(
        logRecords,
        [&](qint64 place) {
            return count == highest + 1 ? place <= highest : have.contains(place);
        },
        now, m_e164);
    if (missing.isEmpty())
        return true;
    // Without its transaction nothing is added: the inserts would each be one of their own, and
    // the failure's reason would be the missing transaction's.
    if (const int begun = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        begun != SQLITE_OK) {
        report(lastError(begun));
        return false;
    }
    // Indexing a whole log row by row takes several times longer than indexing it in one go.
    const bool bulk = missing.size() > 1000;
    if (bulk)
        sqlite3_exec(m_db, "DROP TRIGGER calls_text_add", nullptr, nullptr, nullptr);
    qint64 added = 0;
    for (const LogCatchUp::LoggedCall& logged : missing) {
        if (!insert(logged.call, logged.logRecord)) {
            const QString why = lastError(sqlite3_extended_errcode(m_db));
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            report(why);
            return false;
        }
        ++added;
    }
    if (bulk) {
        sqlite3_exec(m_db, "INSERT INTO calls_text(calls_text) VALUES('rebuild')", nullptr, nullptr,
                     nullptr);
        sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr);
    }
    const int committed = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (committed != SQLITE_OK) {
        const QString why = lastError(sqlite3_extended_errcode(m_db));
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        report(why);
        return false;
    }
    if (added > 0)
        emit eventLine(QStringLiteral("[History: %1 calls of CallLog.txt added]").arg(added));
    sqlite3_db_release_memory(m_db);
    return true;
}

bool CallHistory::insert(const CallRecord& call, qint64 logRecord)
{
    static const QByteArray sql =
        "INSERT INTO calls (call_id, received, local_date, line_date, line_time, number, e164, "
        "name, digits, contact_uid, contact_name, blocked, block_rule, source, outcome, duration, "
        "log_record) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    if (!m_insert)
        sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_insert, nullptr);
    if (!m_insert)
        return false;
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
    sqlite3_stmt* statement = m_insert;
    auto bind = [statement](int at, const QString& value) {
        const QByteArray bytes = value.toUtf8();
        sqlite3_bind_text(statement, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    };
    const QDateTime received =
        call.received.isValid() ? call.received : QDateTime::currentDateTime();
    bind(1, call.id);
    bind(2, received.toUTC().toString(Qt::ISODate));
    bind(3, received.toLocalTime().date().toString(Qt::ISODate));
    bind(4, call.date);
    bind(5, call.time);
    bind(6, call.number);
    bind(7, call.e164);
    bind(8, call.name);
    bind(9, call.withheld == CallRecord::Withheld::No ? call.digits() : QString());
    bind(10, call.contactUid);
    bind(11, call.contactName);
    sqlite3_bind_int(statement, 12, call.blocked ? 1 : 0);
    bind(13, call.blockRule);
    bind(14, call.source);
    bind(15, call.outcome);
    sqlite3_bind_int(statement, 16, call.duration);
    if (logRecord >= 0)
        sqlite3_bind_int64(statement, 17, logRecord);
    const int code = sqlite3_step(statement);
    if ((code & 0xff) == SQLITE_CONSTRAINT)
        return true; // that record is in already
    return code == SQLITE_DONE;
}

qint64 CallHistory::add(const CallRecord& call, bool inLog)
{
    const qint64 record = inLog ? m_logRecords++ : -1;
    if (!m_db)
        return 0;
    m_waiting.append({call, record});
    writeWaiting();
    return m_waiting.isEmpty() ? sqlite3_last_insert_rowid(m_db) : 0;
}

bool CallHistory::catchUpFromFile(qsizetype records)
{
    QByteArray content;
    QString error;
    if (!SafeFile::read(m_folder + QStringLiteral("CallLog.txt"), &content, &error))
        return true; // nothing to read back
    const QStringList all = CallLogFile::readFields(content);
    return catchUp(records < 0 ? all : all.mid(0, records), Clock::now());
}

void CallHistory::writeWaiting()
{
    if (m_db && m_catchUpDue >= 0) {
        if (!catchUpFromFile(m_catchUpDue)) {
            m_retry.start();
            return;
        }
        m_catchUpDue = -1;
    }
    bool rebuilt = false;
    while (m_db && !m_waiting.isEmpty()) {
        const Waiting& next = m_waiting.first();
        if (!insert(next.call, next.logRecord)) {
            const int code = sqlite3_extended_errcode(m_db);
            if (damaged(code)) {
                if (!startAgain(lastError(code)))
                    return;
                rebuilt = true;
                continue; // the calls waiting first, with all they carry
            }
            report(lastError(code));
            m_retry.start();
            return;
        }
        m_waiting.removeFirst();
        if (m_reported && m_waiting.isEmpty()) {
            m_reported = false;
            emit eventLine(QStringLiteral("[History %1 written again]").arg(m_path));
        }
    }
    if (rebuilt)
        catchUpFromFile(-1);
    emit changed();
}

void CallHistory::loggedLater(const QString& callId)
{
    const qint64 record = m_logRecords++;
    for (Waiting& waiting : m_waiting)
        if (waiting.call.id == callId) {
            waiting.logRecord = record;
            return;
        }
    if (!m_db)
        return;
    // Its row learns its record, or a later start would add the call a second time.
    Statement statement(m_db,
                        "UPDATE calls SET log_record = ? WHERE call_id = ? AND log_record IS NULL");
    statement.bind(1, record);
    statement.bind(2, callId);
    if (statement.step() != SQLITE_DONE)
        report(lastError());
}

void CallHistory::setOutcome(qint64 historyId, const QString& callId, const QString& outcome,
                             int duration)
{
    for (Waiting& waiting : m_waiting)
        if (waiting.call.id == callId) {
            waiting.call.outcome = outcome;
            waiting.call.duration = duration;
        }
    if (m_db && historyId > 0) {
        Statement statement(m_db, "UPDATE calls SET outcome = ?, duration = ? WHERE id = ?");
        if (!statement)
            return;
        statement.bind(1, outcome);
        statement.bind(2, qint64(duration));
        statement.bind(3, historyId);
        if (statement.step() != SQLITE_DONE)
            report(lastError());
    }
    emit changed();
}

void CallHistory::addMessage(const QString& callId, const QString& file, int seconds)
{
    if (!m_db)
        return;
    Statement statement(
        m_db,
        "INSERT OR REPLACE INTO messages (call_id, file, seconds, received) VALUES (?, ?, ?, ?)");
    if (!statement)
        return;
    statement.bind(1, callId);
    statement.bind(2, file);
    statement.bind(3, qint64(seconds));
    statement.bind(4, Clock::now().toUTC().toString(Qt::ISODate));
    if (statement.step() != SQLITE_DONE)
        report(lastError());
    else if (seconds > 0)
        emit messageKept(callId, seconds);
    emit changed();
}

void CallHistory::changeMessage(const char* sql, const QString& file)
{
    if (!m_db)
        return;
    Statement statement(m_db, sql);
    if (!statement)
        return;
    statement.bind(1, file);
    if (statement.step() != SQLITE_DONE)
        report(lastError());
    emit changed();
}

void CallHistory::removeMessage(const QString& file)
{
    changeMessage("DELETE FROM messages WHERE file = ?", file);
}

void CallHistory::setHeard(const QString& file)
{
    changeMessage("UPDATE messages SET heard = 1 WHERE file = ?", file);
}

int CallHistory::unheardMessages() const
{
    Statement statement(m_db, "SELECT count(*) FROM messages WHERE heard = 0");
    return statement && statement.step() == SQLITE_ROW ? sqlite3_column_int(statement.get(), 0) : 0;
}

namespace {

const char* const messageColumns =
    "SELECT m.call_id, m.file, m.seconds, m.heard, m.id, m.received, ifnull(c.number, ''), "
    "ifnull(c.name, ''), ifnull(c.contact_name, '') FROM messages m "
    "LEFT JOIN calls c ON c.call_id = m.call_id AND m.call_id != ''";

CallHistory::Message messageFrom(const SqlStatement& row)
{
    return {row.text(0),
            row.text(1),
            sqlite3_column_int(row.get(), 2),
            sqlite3_column_int(row.get(), 3) != 0,
            sqlite3_column_int64(row.get(), 4),
            row.text(5),
            row.text(6),
            row.text(7),
            row.text(8)};
}

} // namespace

QList<CallHistory::Message> CallHistory::messages(bool* ok) const
{
    QList<Message> found;
    Statement statement(m_db, QByteArray(messageColumns) + " GROUP BY m.id ORDER BY m.id");
    int code = statement ? statement.step() : SQLITE_ERROR;
    for (; code == SQLITE_ROW; code = statement.step())
        found.append(messageFrom(statement));
    if (ok)
        *ok = code == SQLITE_DONE;
    return found;
}

CallHistory::Message CallHistory::message(qint64 id) const
{
    Statement statement(m_db, QByteArray(messageColumns) + " WHERE m.id = ? GROUP BY m.id");
    if (!statement)
        return {};
    statement.bind(1, id);
    return statement.step() == SQLITE_ROW ? messageFrom(statement) : Message();
}

void CallHistory::clear()
{
    m_logRecords = 0;
    m_catchUpDue = -1;
    m_waiting.clear();
    if (m_db && sqlite3_exec(m_db, "DELETE FROM calls", nullptr, nullptr, nullptr) != SQLITE_OK)
        report(lastError());
    emit changed();
}

qint64 CallHistory::stored() const
{
    Statement statement(m_db, "SELECT count(*) FROM calls");
    return statement && statement.step() == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0)
                                                       : 0;
}

qint64 CallHistory::count() const
{
    // Calls waiting for the database are the newest: they follow the stored ones.
    return stored() + m_waiting.size();
}

std::optional<CallRecord> CallHistory::at(qint64 row) const
{
    const qint64 inFile = stored();
    if (row >= inFile)
        return row - inFile < m_waiting.size() ? std::optional(m_waiting.at(row - inFile).call)
                                               : std::nullopt;
    // Rows are only ever added at the end or all removed, so their ids follow on from the first.
    Statement statement(m_db, QByteArray("SELECT ") + HistoryReader::columns +
                                  " FROM calls WHERE id = (SELECT min(id) FROM calls) + ?");
    if (!statement)
        return std::nullopt;
    statement.bind(1, row);
    if (statement.step() == SQLITE_ROW)
        return HistoryReader::fromRow(statement.get());
    Statement counted(m_db, QByteArray("SELECT ") + HistoryReader::columns +
                                " FROM calls ORDER BY id LIMIT 1 "
                                "OFFSET ?");
    counted.bind(1, row);
    if (counted && counted.step() == SQLITE_ROW)
        return HistoryReader::fromRow(counted.get());
    return std::nullopt;
}

QList<CallRecord> CallHistory::page(int limit, qint64 before, const QString& query,
                                    const QString& number) const
{
    return HistoryReader(m_db).page(limit, before, query, number);
}

void CallHistory::forEach(const std::function<void(const CallRecord&)>& each) const
{
    HistoryReader(m_db).forEach(each);
}

QList<CallHistory::Day> CallHistory::days(int days, const QDate& today) const
{
    return HistoryReader(m_db).days(days, today);
}

QList<CallHistory::Caller> CallHistory::topCallers(int days, const QDate& today, int limit) const
{
    return HistoryReader(m_db).topCallers(days, today, limit);
}

QList<CallRecord> CallHistory::waitingCalls() const
{
    QList<CallRecord> calls;
    for (const Waiting& waiting : m_waiting)
        calls.append(waiting.call);
    return calls;
}

qint64 CallHistory::newestId() const
{
    Statement statement(m_db, "SELECT max(id) FROM calls");
    return statement && statement.step() == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0)
                                                       : 0;
}

void CallHistory::runApart(QObject* context, std::function<void(const HistoryReader&)> work,
                           std::function<void()> done)
{
    auto* watcher = new QFutureWatcher<void>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, done, history = QPointer<CallHistory>(this)] {
                         watcher->deleteLater();
                         if (history)
                             done();
                     });
    watcher->setFuture(QtConcurrent::run(m_readers.get(),
                                         [path = isOpen() ? m_path : QString(),
                                          work = std::move(work)] { work(HistoryReader(path)); }));
}

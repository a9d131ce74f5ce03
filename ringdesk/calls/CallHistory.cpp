#include "calls/CallHistory.h"
#include "common/Clock.h"

#include "calls/CallLogFile.h"
#include "calls/LogCatchUp.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
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
CREATE INDEX IF NOT EXISTS calls_e164 ON calls(e164);
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

const char* const columns =
    "id, call_id, received, line_date, line_time, number, e164, name, contact_uid, contact_name, "
    "blocked, block_rule, source, outcome, duration";

// A statement that finalizes itself.
class Statement
{
public:
    Statement(sqlite3* db, const QByteArray& sql)
    {
        if (db)
            sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }
    void bind(int at, const QString& text)
    {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(m_statement, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    void bind(int at, qint64 value) { sqlite3_bind_int64(m_statement, at, value); }
    void bindNull(int at) { sqlite3_bind_null(m_statement, at); }
    int step() { return sqlite3_step(m_statement); }

private:
    sqlite3_stmt* m_statement = nullptr;
};

QString text(sqlite3_stmt* row, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(row, column)) : QString();
}

bool damaged(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace

CallHistory::CallHistory(QObject* parent) : QObject(parent)
{
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
        if (code == SQLITE_ROW && text(check.get(), 0) != QLatin1String("ok"))
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
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
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
                if (!startAgain(lastError()))
                    return;
                rebuilt = true;
                continue; // the calls waiting first, with all they carry
            }
            report(lastError());
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

void CallHistory::clear()
{
    m_logRecords = 0;
    m_catchUpDue = -1;
    m_waiting.clear();
    if (m_db && sqlite3_exec(m_db, "DELETE FROM calls", nullptr, nullptr, nullptr) != SQLITE_OK)
        report(lastError());
    emit changed();
}

CallRecord CallHistory::fromRow(sqlite3_stmt* row) const
{
    CallRecord call;
    call.historyId = sqlite3_column_int64(row, 0);
    call.id = text(row, 1);
    // "2026-12-08T16:30:05Z", read by position: a page of calls reads fifty of them.
    const QString received = text(row, 2);
    const auto part = [&received](int at, int length) {
        return QStringView(received).mid(at, length).toInt();
    };
    call.received = QDateTime(QDate(part(0, 4), part(5, 2), part(8, 2)),
                              QTime(part(11, 2), part(14, 2), part(17, 2)), Qt::UTC);
    call.date = text(row, 3);
    call.time = text(row, 4);
    call.number = text(row, 5);
    call.e164 = text(row, 6);
    call.name = text(row, 7);
    call.contactUid = text(row, 8);
    call.contactName = text(row, 9);
    call.contactFound = !call.contactUid.isEmpty() || !call.contactName.isEmpty();
    call.blocked = sqlite3_column_int(row, 10) != 0;
    call.blockRule = text(row, 11);
    call.source = text(row, 12);
    call.outcome = text(row, 13);
    call.duration = sqlite3_column_int(row, 14);
    if (call.number == QLatin1String("Private"))
        call.withheld = CallRecord::Withheld::Private;
    else if (call.number == QLatin1String("Out of Area"))
        call.withheld = CallRecord::Withheld::OutOfArea;
    return call;
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
    Statement statement(m_db, QByteArray("SELECT ") + columns +
                                  " FROM calls WHERE id = (SELECT min(id) FROM calls) + ?");
    if (!statement)
        return std::nullopt;
    statement.bind(1, row);
    if (statement.step() == SQLITE_ROW)
        return fromRow(statement.get());
    Statement counted(m_db, QByteArray("SELECT ") + columns +
                                " FROM calls ORDER BY id LIMIT 1 "
                                "OFFSET ?");
    counted.bind(1, row);
    if (counted && counted.step() == SQLITE_ROW)
        return fromRow(counted.get());
    return std::nullopt;
}

QList<CallRecord> CallHistory::page(int limit, qint64 before, const QString& query,
                                    const QString& number) const
{
    QList<CallRecord> calls;
    const QString wanted = query.trimmed();
    const QString digits = PhoneNumber::digits(wanted);
    const bool byDigits = !digits.isEmpty() && PhoneNumber::writtenAsNumber(wanted);
    const QString searched = byDigits ? digits : wanted;
    QByteArray sql = QByteArray("SELECT ") + columns + " FROM calls WHERE id < ?";
    // Three characters make a trigram the index can find; shorter text is looked for row by row.
    const bool indexed = searched.size() >= 3;
    if (!wanted.isEmpty() && indexed)
        sql += byDigits ? " AND id IN (SELECT rowid FROM calls_text WHERE digits MATCH ?)"
                        : " AND id IN (SELECT rowid FROM calls_text WHERE calls_text MATCH ?)";
    else if (!wanted.isEmpty())
        sql += byDigits ? " AND instr(digits, ?) > 0"
                        : " AND (name LIKE ? ESCAPE '\\' OR contact_name LIKE ? ESCAPE '\\')";
    if (!number.isEmpty())
        sql += " AND (e164 = ? OR number = ?)";
    sql += " ORDER BY id DESC LIMIT ?";
    Statement statement(m_db, sql);
    if (!statement)
        return calls;
    int at = 1;
    statement.bind(at++, before > 0 ? before : std::numeric_limits<qint64>::max());
    if (!wanted.isEmpty() && indexed) {
        // A phrase of the text as it stands: quotes doubled, no operators.
        QString phrase = searched;
        phrase.replace(u'"', QStringLiteral("\"\""));
        statement.bind(at++, u'"' + phrase + u'"');
    } else if (!wanted.isEmpty() && byDigits) {
        statement.bind(at++, searched);
    } else if (!wanted.isEmpty()) {
        QString like = searched;
        like.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'%', QStringLiteral("\\%"))
            .replace(u'_', QStringLiteral("\\_"));
        statement.bind(at++, u'%' + like + u'%');
        statement.bind(at++, u'%' + like + u'%');
    }
    if (!number.isEmpty()) {
        statement.bind(at++, number);
        statement.bind(at++, number);
    }
    statement.bind(at, qint64(limit));
    while (statement.step() == SQLITE_ROW)
        calls.append(fromRow(statement.get()));
    return calls;
}

void CallHistory::forEach(const std::function<void(const CallRecord&)>& each) const
{
    Statement statement(m_db, QByteArray("SELECT ") + columns + " FROM calls ORDER BY id");
    while (statement && statement.step() == SQLITE_ROW)
        each(fromRow(statement.get()));
}

QList<CallHistory::Day> CallHistory::days(int days, const QDate& today) const
{
    QList<Day> result;
    const QDate first = today.addDays(1 - days);
    for (QDate date = first; date <= today; date = date.addDays(1))
        result.append({date, 0, 0});
    Statement statement(m_db, "SELECT local_date, count(*), sum(blocked) FROM calls "
                              "WHERE local_date >= ? AND local_date <= ? GROUP BY local_date");
    if (!statement)
        return result;
    statement.bind(1, first.toString(Qt::ISODate));
    statement.bind(2, today.toString(Qt::ISODate));
    while (statement.step() == SQLITE_ROW) {
        const qint64 at = first.daysTo(QDate::fromString(text(statement.get(), 0), Qt::ISODate));
        if (at >= 0 && at < result.size()) {
            result[at].calls = sqlite3_column_int(statement.get(), 1);
            result[at].blocked = sqlite3_column_int(statement.get(), 2);
        }
    }
    return result;
}

QList<CallHistory::Caller> CallHistory::topCallers(int days, const QDate& today, int limit) const
{
    QList<Caller> result;
    Statement statement(
        m_db, "SELECT calls.number, calls.name, contact, n FROM ("
              "SELECT CASE WHEN e164 != '' THEN e164 ELSE digits END AS who, max(id) AS last, "
              "count(*) AS n, max(contact_name) AS contact FROM calls "
              "WHERE local_date >= ? AND digits != '' GROUP BY who) "
              "JOIN calls ON calls.id = last ORDER BY n DESC, last DESC LIMIT ?");
    if (!statement)
        return result;
    statement.bind(1, today.addDays(1 - days).toString(Qt::ISODate));
    statement.bind(2, qint64(limit));
    while (statement.step() == SQLITE_ROW)
        result.append({text(statement.get(), 0), text(statement.get(), 1), text(statement.get(), 2),
                       sqlite3_column_int(statement.get(), 3)});
    return result;
}

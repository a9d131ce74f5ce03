#include "calls/HistoryReader.h"

#include "calls/SqlStatement.h"
#include "numbers/PhoneNumber.h"

#include <QFile>
#include <limits>
#include <sqlite3.h>

namespace {

using Statement = SqlStatement;

QString text(sqlite3_stmt* row, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(row, column)) : QString();
}

} // namespace

const char* const HistoryReader::columns =
    "id, call_id, received, line_date, line_time, number, e164, name, contact_uid, contact_name, "
    "blocked, block_rule, source, outcome, duration, "
    "(SELECT seconds FROM messages WHERE messages.call_id = calls.call_id "
    "ORDER BY messages.id DESC LIMIT 1), "
    "(SELECT heard FROM messages WHERE messages.call_id = calls.call_id "
    "ORDER BY messages.id DESC LIMIT 1)";

HistoryReader::HistoryReader(const QString& path) : m_owned(true)
{
    // Read only and apart from the connection that writes: SQLite's write-ahead log lets it read
    // what was committed while calls go on being written.
    const QByteArray name = QFile::encodeName(path);
    if (path.isEmpty() ||
        sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 2000);
}

HistoryReader::~HistoryReader()
{
    if (m_owned && m_db)
        sqlite3_close_v2(m_db);
}

CallRecord HistoryReader::fromRow(sqlite3_stmt* row)
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
    if (sqlite3_column_type(row, 15) != SQLITE_NULL) {
        call.messageSeconds = sqlite3_column_int(row, 15);
        call.messageHeard = sqlite3_column_int(row, 16) != 0;
    }
    if (call.number == QLatin1String("Private"))
        call.withheld = CallRecord::Withheld::Private;
    else if (call.number == QLatin1String("Out of Area"))
        call.withheld = CallRecord::Withheld::OutOfArea;
    return call;
}

QList<CallRecord> HistoryReader::page(int limit, qint64 before, const QString& query,
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

void HistoryReader::forEach(const std::function<void(const CallRecord&)>& each) const
{
    Statement statement(m_db, QByteArray("SELECT ") + columns + " FROM calls ORDER BY id");
    while (statement && statement.step() == SQLITE_ROW)
        each(fromRow(statement.get()));
}

QList<HistoryReader::Day> HistoryReader::days(int days, const QDate& today) const
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
        const qint64 at = first.daysTo(QDate::fromString(statement.text(0), Qt::ISODate));
        if (at >= 0 && at < result.size()) {
            result[at].calls = sqlite3_column_int(statement.get(), 1);
            result[at].blocked = sqlite3_column_int(statement.get(), 2);
        }
    }
    return result;
}

QList<HistoryReader::Hour> HistoryReader::hours(int days, const QDate& today) const
{
    QList<Hour> result(24);
    // The times are stored in UTC; SQLite's "localtime" is the C library's, as the dates are.
    Statement statement(m_db, "SELECT CAST(strftime('%H', received, 'localtime') AS INTEGER), "
                              "count(*), sum(blocked) FROM calls "
                              "WHERE local_date >= ? AND local_date <= ? GROUP BY 1");
    if (!statement)
        return result;
    statement.bind(1, today.addDays(1 - days).toString(Qt::ISODate));
    statement.bind(2, today.toString(Qt::ISODate));
    while (statement.step() == SQLITE_ROW) {
        const int hour = sqlite3_column_int(statement.get(), 0);
        if (hour >= 0 && hour < 24 && sqlite3_column_type(statement.get(), 0) != SQLITE_NULL)
            result[hour] = {sqlite3_column_int(statement.get(), 1),
                            sqlite3_column_int(statement.get(), 2)};
    }
    return result;
}

QList<HistoryReader::Caller> HistoryReader::topCallers(int days, const QDate& today,
                                                       int limit) const
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
        result.append({statement.text(0), statement.text(1), statement.text(2),
                       sqlite3_column_int(statement.get(), 3)});
    return result;
}

#pragma once

#include <QByteArray>
#include <QString>
#include <sqlite3.h>

// A statement of the history's SQL that finalizes itself.
class SqlStatement
{
public:
    SqlStatement(sqlite3* db, const QByteArray& sql)
    {
        if (db)
            sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_statement, nullptr);
    }
    ~SqlStatement() { sqlite3_finalize(m_statement); }
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;
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
    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column))
                     : QString();
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

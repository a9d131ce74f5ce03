#include "CallLogFile.h"

#include "state/MonitorState.h"

#include <QFile>
#include <QStringDecoder>

namespace {

const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

qsizetype nextLineEnd(const QString& text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && !isLineEnd(text.at(i)))
        ++i;
    return i;
}

// A quoted field normally ends at the first quote that is followed by a comma or the line end.
// The program writes one record per line and does not escape quotes inside it, so a line that
// begins and ends with a quote is one record whatever quotes stand between.
qsizetype closingQuote(const QString& text, qsizetype open, qsizetype lineEnd)
{
    qsizetype last = lineEnd - 1;
    while (last > open && text.at(last) == u' ')
        --last;
    if (last > open && text.at(last) == u'"')
        return last;
    for (qsizetype i = open + 1; i < lineEnd; ++i) {
        if (text.at(i) != u'"')
            continue;
        qsizetype k = i + 1;
        while (k < lineEnd && text.at(k) == u' ')
            ++k;
        if (k == lineEnd || text.at(k) == u',')
            return i;
    }
    return -1;
}

QString decodeFile(const QByteArray& content)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(content);
    // Logs written by older programs in a single-byte code page still read back, byte for byte.
    return utf8.hasError() ? QString::fromLatin1(content) : text;
}

} // namespace

CallLogFile::CallLogFile(MonitorState& state) : m_state(state) {}

QString CallLogFile::callLogPath() const
{
    return m_state.LogDirectory + QStringLiteral("CallLog.txt");
}

QString CallLogFile::eventLogPath() const
{
    return m_state.LogDirectory + QStringLiteral("CallEvnt.txt");
}

bool CallLogFile::report(const QString& path, const QString& reason)
{
    m_state.appendEvent(QStringLiteral("[Couldn't write %1: %2]").arg(path, reason));
    return false;
}

bool CallLogFile::AppendCallLogRecord(const QString& line)
{
    QFile file(callLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, ownerOnly))
        return report(file.fileName(), file.errorString());
    const QByteArray record = '"' + line.toUtf8() + "\"\r\n";
    const bool written = file.write(record) == record.size() && file.flush();
    const QString reason = file.errorString();
    file.close();
    return written || report(file.fileName(), reason);
}

QStringList CallLogFile::readFields(const QByteArray& content)
{
    const QString text = decodeFile(content);
    QStringList fields;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (true) {
        while (pos < n && (text.at(pos) == u' ' || isLineEnd(text.at(pos))))
            ++pos;
        if (pos >= n)
            break;
        const qsizetype lineEnd = nextLineEnd(text, pos);
        if (text.at(pos) == u'"') {
            const qsizetype close = closingQuote(text, pos, lineEnd);
            if (close < 0) {
                fields.append(text.mid(pos + 1, lineEnd - pos - 1));
                pos = lineEnd;
                continue;
            }
            fields.append(text.mid(pos + 1, close - pos - 1));
            // Past the next comma or to the line end, whatever stands before it.
            qsizetype comma = close + 1;
            while (comma < lineEnd && text.at(comma) != u',')
                ++comma;
            pos = comma < lineEnd ? comma + 1 : lineEnd;
        } else {
            qsizetype end = pos;
            while (end < lineEnd && text.at(end) != u',')
                ++end;
            fields.append(text.mid(pos, end - pos));
            pos = end < lineEnd ? end + 1 : lineEnd;
        }
    }
    return fields;
}

void CallLogFile::LoadCallLog()
{
    QFile file(callLogPath());
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_state.appendEvent(
            QStringLiteral("[Couldn't read %1: %2]").arg(file.fileName(), file.errorString()));
        return;
    }
    const QStringList fields = readFields(file.readAll());
    file.close();
    if (!fields.isEmpty())
        m_state.Calllog.setStringList(m_state.Calllog.stringList() + fields);
}

bool CallLogFile::ClearCallLog()
{
    m_state.Calllog.setStringList({});
    QFile file(callLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly))
        return report(file.fileName(), file.errorString());
    file.close();
    return true;
}

bool CallLogFile::SaveEventLog()
{
    QFile file(eventLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly))
        return report(file.fileName(), file.errorString());
    QByteArray content;
    for (const QString& line : m_state.events())
        content += line.toUtf8() + "\r\n";
    const bool written = file.write(content) == content.size() && file.flush();
    const QString reason = file.errorString();
    file.close();
    return written || report(file.fileName(), reason);
}

#include "calls/CallLogFile.h"

#include "common/CleanText.h"
#include "common/SafeFile.h"
#include "common/TextCodec.h"

#include <QDir>

namespace {

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

// The number after the date and time, as far as it is written as a number; empty for a
// withheld or missing one.
QString numberInRecord(const QString& line)
{
    const qsizetype afterDate = line.indexOf(u' ');
    const qsizetype afterTime = afterDate < 0 ? -1 : line.indexOf(u' ', afterDate + 1);
    if (afterTime < 0)
        return QString();
    QString number;
    int digits = 0;
    for (qsizetype i = afterTime + 1; i < line.size(); ++i) {
        const QChar c = line.at(i);
        const bool digit = c >= u'0' && c <= u'9';
        if (!digit && !QStringLiteral(" ()-./+").contains(c))
            break;
        digits += digit ? 1 : 0;
        number += c;
    }
    return digits >= 3 ? number.trimmed() : QString();
}

} // namespace

CallRecord CallLogFile::callOfRecord(const QString& record)
{
    CallRecord call;
    call.date = record.section(u' ', 0, 0);
    call.time = record.section(u' ', 1, 1);
    const QString rest = record.section(u' ', 2);
    call.number = numberInRecord(record);
    if (call.number.isEmpty()) {
        for (const QLatin1String word : {QLatin1String("Out of Area"), QLatin1String("Private")})
            if (rest.startsWith(word)) {
                call.number = word;
                call.withheld = word == QLatin1String("Private") ? CallRecord::Withheld::Private
                                                                 : CallRecord::Withheld::OutOfArea;
            }
    }
    call.name = rest.mid(rest.indexOf(call.number) + call.number.size()).trimmed();
    return call;
}

QString CallLogFile::callLogPath() const
{
    return m_folder + QStringLiteral("CallLog.txt");
}

QString CallLogFile::eventLogPath() const
{
    return m_folder + QStringLiteral("CallEvnt.txt");
}

bool CallLogFile::report(const QString& path, const QString& reason)
{
    emit eventLine(QStringLiteral("[Couldn't write %1: %2]").arg(path, reason));
    return false;
}

bool CallLogFile::hasFolder() const
{
    // A relative folder would put the logs wherever the program happened to be started.
    return QDir::isAbsolutePath(m_folder);
}

CallLogFile::CallLogFile(QObject* parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(10000);
    connect(&m_retry, &QTimer::timeout, this, &CallLogFile::writeUnwritten);
}

bool CallLogFile::write(const QByteArray& record, QString* reason)
{
    return SafeFile::append(callLogPath(), record, reason);
}

bool CallLogFile::appendRecord(const QString& line, const QString& callId)
{
    if (!hasFolder())
        return report(QStringLiteral("CallLog.txt"), QStringLiteral("there is no log folder"));
    // One record is one line, whatever the caller's text held.
    const QByteArray record = '"' + CleanText::field(line).toUtf8() + "\"\r\n";
    writeUnwritten();
    QString reason;
    if (m_unwritten.isEmpty() && write(record, &reason))
        return true;
    // Kept behind those that wait already, so the file gets the calls in their order.
    m_unwritten.append({record, callId});
    if (!reason.isEmpty() && reason != m_lastReason) {
        m_lastReason = reason;
        emit eventLine(QStringLiteral("[Couldn't write %1: %2; the call is kept and written as "
                                      "soon as the file takes it]")
                           .arg(callLogPath(), reason));
    }
    m_retry.start();
    return false;
}

void CallLogFile::writeUnwritten()
{
    if (m_unwritten.isEmpty())
        return;
    const qsizetype waited = m_unwritten.size();
    while (!m_unwritten.isEmpty()) {
        QString reason;
        if (!hasFolder() || !write(m_unwritten.first().record, &reason)) {
            m_retry.start();
            return;
        }
        const QString callId = m_unwritten.takeFirst().callId;
        if (m_fromKeptApart > 0 && --m_fromKeptApart == 0)
            QFile::remove(m_keptApartPath);
        emit recordWritten(callId);
    }
    m_lastReason.clear();
    emit eventLine(QStringLiteral("[%1 written again: %2 calls that waited are in it]")
                       .arg(callLogPath())
                       .arg(waited));
}

bool CallLogFile::keepApart()
{
    QByteArray records;
    for (qsizetype i = m_fromKeptApart; i < m_unwritten.size(); ++i)
        records += m_unwritten.at(i).record;
    if (records.isEmpty())
        return true;
    QString reason;
    return !m_keptApartPath.isEmpty() && SafeFile::append(m_keptApartPath, records, &reason);
}

void CallLogFile::takeKeptApart()
{
    QFile file(m_keptApartPath);
    if (m_keptApartPath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray records = file.readAll();
    file.close();
    const qsizetype count = records.count("\"\r\n");
    QString reason;
    if (records.isEmpty() || (hasFolder() && write(records, &reason))) {
        QFile::remove(m_keptApartPath);
        if (count > 0)
            emit eventLine(QStringLiteral("[%1 calls that waited in %2 at the last end are in %3]")
                               .arg(count)
                               .arg(m_keptApartPath, callLogPath()));
        return;
    }
    // Still no room: they go first once there is, and the file keeps them until then.
    qsizetype at = 0;
    while (at < records.size()) {
        const qsizetype end = records.indexOf("\"\r\n", at);
        const qsizetype next = end < 0 ? records.size() : end + 3;
        m_unwritten.insert(m_fromKeptApart++, {records.mid(at, next - at), QString()});
        at = next;
    }
    m_retry.start();
}

QStringList CallLogFile::readFields(const QByteArray& content)
{
    const QString text = TextCodec::decodeLines(content);
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
    // Another program may have written the file.
    for (QString& field : fields)
        field = CleanText::field(field);
    return fields;
}

QStringList CallLogFile::loadRecords()
{
    if (!hasFolder())
        return {};
    QByteArray content;
    QString reason;
    bool missing = false;
    if (!SafeFile::read(callLogPath(), &content, &reason, &missing)) {
        if (!missing)
            emit eventLine(QStringLiteral("[Couldn't read %1: %2]").arg(callLogPath(), reason));
        return {};
    }
    return readFields(content);
}

bool CallLogFile::clearCallLog()
{
    if (!hasFolder())
        return false;
    QString reason;
    return SafeFile::truncate(callLogPath(), &reason) || report(callLogPath(), reason);
}

bool CallLogFile::saveEventLog(const QStringList& lines)
{
    if (!hasFolder())
        return false;
    QByteArray content;
    for (const QString& line : lines)
        content += line.toUtf8() + "\r\n";
    // A new file replaces the old one only once it is whole, so a crash here loses nothing.
    QString reason;
    return SafeFile::writeAtomically(eventLogPath(), content, &reason) ||
           report(eventLogPath(), reason);
}

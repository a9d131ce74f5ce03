#pragma once

#include "calls/CallRecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// The call log "CallLog.txt" and the event log "CallEvnt.txt" in the log directory (the
// directory text followed directly by the file name). Records are a double quote, the call line,
// a double quote and CR LF, in UTF-8. Files are opened and closed within each operation and are
// created readable by their owner only. A file that cannot be written is reported as a bracketed
// line for the event list and never stops the monitor; a symbolic link in a log file's place is
// refused, and without an absolute log folder no file is touched at all. A record that cannot be
// written (a full disk) is kept, in order, and written before the next one, at the next call or
// on a timer, as soon as the file takes it.
class CallLogFile : public QObject
{
    Q_OBJECT
public:
    explicit CallLogFile(QObject* parent = nullptr);

    // The folder's text, followed directly by the file names (so it ends in "/").
    void setFolder(const QString& folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    QString callLogPath() const;
    QString eventLogPath() const;

    // True when the record is in the file now; false when it waits (see recordWritten).
    // `callId` names it when it is written later.
    bool appendRecord(const QString& line, const QString& callId = QString());
    // The records that wait for the file, oldest first.
    qsizetype unwritten() const { return m_unwritten.size(); }
    // Writes what waits, if the file takes it now.
    void writeUnwritten();
    // Where records that could not be written by the end wait for the next start: a file in the
    // user's runtime folder, which is memory and not the full disk (a reboot loses it).
    void setKeptApart(const QString& path) { m_keptApartPath = path; }
    QString keptApartPath() const { return m_keptApartPath; }
    // At the end: what waits goes to that file. False when even that fails.
    bool keepApart();
    // At start, before the log is read: the records kept apart at the last end go into the log
    // first, or wait before any new call until it takes them.
    void takeKeptApart();
    // Every field of the call log, for the end of the call list.
    QStringList loadRecords();
    // Empties the call log file (the question is the window's to ask).
    bool clearCallLog();
    bool saveEventLog(const QStringList& lines);

    // The fields of a call log file's content, as loadRecords reads them.
    static QStringList readFields(const QByteArray& content);
    // The call a record holds: the date and time, then the number as far as it is written as
    // one (or a word for a withheld one), then the name. Only calls logged before the history
    // existed are ever read back this way.
    static CallRecord callOfRecord(const QString& record);

signals:
    void eventLine(const QString& line);
    // A record that waited is in the file now, as its next record.
    void recordWritten(const QString& callId);

private:
    bool hasFolder() const;
    bool report(const QString& path, const QString& reason);
    bool write(const QByteArray& record, QString* reason);

    struct Unwritten
    {
        QByteArray record;
        QString callId;
    };
    QString m_folder;
    QList<Unwritten> m_unwritten;
    QTimer m_retry;
    QString m_lastReason; // said once per outage
    QString m_keptApartPath;
    qsizetype m_fromKeptApart = 0; // the first of m_unwritten, which that file holds still
};

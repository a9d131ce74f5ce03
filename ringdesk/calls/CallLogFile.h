#pragma once

#include <QString>
#include <QStringList>

class MonitorState;

// The call log "CallLog.txt" and the event log "CallEvnt.txt" in the log directory (the
// directory text followed directly by the file name). Records are a double quote, the call line,
// a double quote and CR LF, in UTF-8. Files are opened and closed within each operation and are
// created readable by their owner only. A file that cannot be written is reported as a bracketed
// line in the event list and never stops the monitor; a symbolic link in a log file's place is
// refused, and without an absolute log folder no file is touched at all.
class CallLogFile
{
public:
    explicit CallLogFile(MonitorState& state);

    QString callLogPath() const;
    QString eventLogPath() const;

    bool AppendCallLogRecord(const QString& line);
    // Adds every field of the call log at the end of the call list.
    void LoadCallLog();
    // Empties the call list and the call log file (the question is the window's to ask).
    bool ClearCallLog();
    bool SaveEventLog();

    // The fields of a call log file's content, as LoadCallLog reads them.
    static QStringList readFields(const QByteArray& content);

private:
    bool hasFolder() const;
    bool report(const QString& path, const QString& reason);

    MonitorState& m_state;
};

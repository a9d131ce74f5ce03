#include "monitor/MessageFolder.h"

#include "calls/CallHistory.h"
#include "voice/Announcement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

QStringList MessageFolder::tidy(CallHistory& history, const QString& folder)
{
    QStringList lines;
    QSet<QString> known;
    bool read = false;
    const QList<CallHistory::Message> messages = history.messages(&read);
    if (!read)
        return lines; // nothing is touched on the word of a history that cannot be read
    for (const CallHistory::Message& message : messages) {
        known.insert(message.file);
        if (!QFileInfo::exists(message.file)) {
            history.removeMessage(message.file);
            lines << QStringLiteral("[Message %1 is gone; its entry is removed]").arg(message.file);
            continue;
        }
        if (message.seconds > 0)
            continue;
        const double seconds = Announcement::seconds(message.file);
        if (seconds < 1) {
            QFile::remove(message.file);
            history.removeMessage(message.file);
            lines << QStringLiteral("[Message %1 was cut short before anything was said; "
                                    "removed]")
                         .arg(message.file);
            continue;
        }
        history.addMessage(message.callId, message.file, qRound(seconds));
        lines << QStringLiteral("[Message %1 was cut short at %2 s; it is kept]")
                     .arg(message.file)
                     .arg(qRound(seconds));
    }
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        if (known.contains(file.absoluteFilePath()) || known.contains(file.filePath()))
            continue;
        // A message whose entry could not be written: kept, without its call.
        const double seconds = Announcement::seconds(file.filePath());
        if (seconds >= 1) {
            history.addMessage(QString(), file.filePath(), qRound(seconds));
            lines << QStringLiteral("[Message %1 had no entry; it is kept]").arg(file.filePath());
        } else {
            QFile::remove(file.filePath());
            lines << QStringLiteral("[Message %1 holds nothing; removed]").arg(file.filePath());
        }
    }
    return lines;
}

QStringList MessageFolder::keepUnder(CallHistory& history, const QString& folder, int limitMb)
{
    const qint64 limit = qint64(limitMb) * 1024 * 1024;
    qint64 total = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({QStringLiteral("*.wav")}, QDir::Files))
        total += file.size();
    QStringList lines;
    bool read = false;
    const QList<CallHistory::Message> messages = history.messages(&read);
    for (const CallHistory::Message& message : messages) {
        if (!read || total <= limit)
            break;
        if (!message.heard)
            continue;
        total -= QFileInfo(message.file).size();
        QFile::remove(message.file);
        history.removeMessage(message.file);
        lines << QStringLiteral("[Message %1 deleted: the messages folder is over "
                                "Voice/MessagesLimit (%2 MB)]")
                     .arg(message.file)
                     .arg(limitMb);
    }
    if (read && total > limit)
        lines << QStringLiteral("[Messages take %1 MB, over Voice/MessagesLimit (%2 MB), and "
                                "none left is heard: nothing more is deleted]")
                     .arg(double(total) / (1024 * 1024), 0, 'f', 1)
                     .arg(limitMb);
    return lines;
}

#include "bus/Outbox.h"

#include "common/SafeFile.h"

#include <QFile>
#include <QJsonDocument>

// One line per call: its id, a tab, and the message as published (compact JSON has no line
// breaks). A line cut short by a crash (or a power cut) is passed over rather than sent half:
// only a whole JSON object is a message, since a cut can fall just after a nested one.
Outbox::Outbox(const QString& path) : m_path(path) {}

bool Outbox::load(QString* error)
{
    m_entries.clear();
    QByteArray data;
    bool missing = false;
    if (!SafeFile::read(m_path, &data, error, &missing))
        return missing;
    for (const QByteArray& line : data.split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        const QByteArray message = line.mid(tab + 1);
        QJsonParseError error;
        if (!QJsonDocument::fromJson(message, &error).isObject() ||
            error.error != QJsonParseError::NoError)
            continue;
        m_entries.append({QString::fromUtf8(line.left(tab)), message});
    }
    return true;
}

bool Outbox::add(const Entry& entry, QString* error)
{
    // What was struck out must be gone from the file before a line is added after it.
    if (!flush(error))
        return false;
    m_entries.append(entry);
    return SafeFile::append(m_path, entry.id.toUtf8() + '\t' + entry.message + '\n', error);
}

void Outbox::remove(const QString& id)
{
    if (m_entries.removeIf([&id](const Entry& e) { return e.id == id; }) > 0)
        m_dirty = true;
}

bool Outbox::flush(QString* error)
{
    if (!m_dirty)
        return true;
    m_dirty = false;
    if (m_entries.isEmpty())
        return SafeFile::truncate(m_path, error);
    QByteArray data;
    for (const Entry& e : m_entries)
        data += e.id.toUtf8() + '\t' + e.message + '\n';
    return SafeFile::writeAtomically(m_path, data, error);
}

#include "Outbox.h"

#include "SafeFile.h"

#include <QFile>

// One line per call: its id, a tab, and the message as published (compact JSON has no line
// breaks). A line cut short by a crash is passed over rather than sent half.
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
        if (tab <= 0 || !line.endsWith('}'))
            continue;
        m_entries.append({QString::fromUtf8(line.left(tab)), line.mid(tab + 1)});
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

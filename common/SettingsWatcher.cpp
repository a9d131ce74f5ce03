#include "common/SettingsWatcher.h"

#include "common/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

SettingsWatcher::SettingsWatcher(QList<const SettingEntry*> entries, QObject* parent)
    : QObject(parent), m_entries(std::move(entries))
{
    for (const SettingEntry* entry : m_entries)
        m_texts << entry->read();
    const QString folder = QFileInfo(SettingsStore::pathFor(Settings::Application)).path();
    QDir().mkpath(folder);
    m_watcher.addPath(folder);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SettingsWatcher::check);
}

void SettingsWatcher::check()
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QString text = m_entries[i]->read();
        if (text == m_texts[i])
            continue;
        m_texts[i] = text;
        emit changed(*m_entries[i]);
    }
}

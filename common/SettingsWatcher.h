#pragma once

#include "common/SettingsTable.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QStringList>

// Tells when settings change in the store, whoever wrote them: this program, the setup program
// or a hand edit. The folder is watched, since a save replaces the file whole.
class SettingsWatcher : public QObject
{
    Q_OBJECT
public:
    // `entries` must outlive the watcher (the table's rows do).
    explicit SettingsWatcher(QList<const SettingEntry*> entries, QObject* parent = nullptr);

signals:
    // Each entry whose stored text is not what it was, once per change.
    void changed(const SettingEntry& entry);

private:
    void check();

    QFileSystemWatcher m_watcher;
    QList<const SettingEntry*> m_entries;
    QStringList m_texts;
};

#pragma once

#include <QString>

// The per-user settings store shared by ringdesk and config: one INI file per application name in
// the user's configuration folder, each section an INI group. Application, section and key are
// matched without regard to letter case, and every write merges one entry into the file under a
// lock, so two programs writing different entries at the same moment lose nothing.
class SettingsStore
{
public:
    explicit SettingsStore(const QString& application);

    // The stored text, or the default when the entry does not exist or the store is unusable.
    QString get(const QString& section, const QString& key, const QString& defaultValue) const;

    // Creates or replaces the entry. Returns false when the store could not be written.
    bool save(const QString& section, const QString& key, const QString& value);

    // Empty when the store is readable and well-formed (or absent); otherwise one sentence that
    // says what is wrong with it, for the program to show.
    QString problem() const;

    // Where a damaged store was copied before the first write rewrote it (empty if never).
    QString backupPath() const { return m_backupPath; }

    QString filePath() const { return m_path; }

    // <config folder>/<application in lower case>.ini, the folder honouring XDG_CONFIG_HOME.
    static QString pathFor(const QString& application);

private:
    bool keepCopyOfDamagedFile();

    QString m_path;
    QString m_backupPath;
};

// The two operations through which the programs reach the store.
QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue);
bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

#pragma once

#include <QList>
#include <QString>

// The per-user settings store shared by ringdesk and config: one INI file per application name in
// the user's configuration folder, each section an INI group. Application, section and key are
// matched without regard to letter case. Every write merges its entries into the file as it is
// on disk under a lock, so two programs writing different entries at the same moment lose
// nothing, and replaces the file whole, so a crash never leaves half a file. A line that cannot
// be read costs that line only; the file as it was is copied aside before a write drops it.
// The file is parsed once per change on disk, however often it is read.
class SettingsStore
{
public:
    explicit SettingsStore(const QString& application);

    struct Entry
    {
        QString section;
        QString key;
        QString value;
    };

    // The stored text, or the default when the entry does not exist or the store is unreadable.
    QString get(const QString& section, const QString& key, const QString& defaultValue) const;

    // Creates or replaces the entry. Returns false when the store could not be written.
    bool save(const QString& section, const QString& key, const QString& value);
    // All entries in one locked rewrite, in their order.
    bool saveAll(const QList<Entry>& entries);

    // Empty when the store is readable and every line of it could be read (or there is none);
    // otherwise one sentence that says what is wrong with it, for the program to show.
    QString problem() const;
    // Why the last save failed.
    QString lastError() const { return m_lastError; }

    // Where a damaged store was copied before the first write rewrote it (empty if never).
    QString backupPath() const { return m_backupPath; }

    QString filePath() const { return m_path; }

    // <config folder>/<application in lower case>.ini, the folder honouring XDG_CONFIG_HOME.
    static QString pathFor(const QString& application);

private:
    bool keepCopyOfDamagedFile(const QString& target);

    QString m_path;
    QString m_backupPath;
    QString m_lastError;
};

// The two operations through which the programs reach the store.
QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue);
bool saveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

#pragma once

#include <QString>
#include <QStringList>

// The folder the log files go to when no "LogDirectory" is set: the program's per-user data
// folder ($XDG_DATA_HOME/ringdesk/, created readable by its owner only), ending in "/". Empty when
// it cannot be created, with the reason in *problem; no log file is written then.
QString defaultLogFolder(QString* problem = nullptr);

// The folder the log files go to: `asked` ("LogDirectory") when it is an absolute folder, else
// the default one; `lines` gets what the user should be told (a relative folder, a default one
// that cannot be made). Empty when no log file can be written.
QString settleLogFolder(const QString& asked, QStringList* lines);

// What rewrites of a monitor that was killed left in the folders it writes: its data folder and
// `logFolder`, and in the folders other programs share, only files with the names it writes
// there (the settings, contacts, journal entries, the index).
void removeLeftovers(const QString& logFolder);

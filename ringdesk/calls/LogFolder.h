#pragma once

#include <QString>

// The folder the log files go to when no "LogDirectory" is set: the program's per-user data
// folder ($XDG_DATA_HOME/ringdesk/, created readable by its owner only), ending in "/". Empty when
// it cannot be created, with the reason in *problem; no log file is written then.
QString defaultLogFolder(QString* problem = nullptr);

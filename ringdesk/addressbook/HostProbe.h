#pragma once

#include <QString>

// Asks the hostprobe library, loaded at run time, whether the address book can be used. The
// library sits in lib/ringdesk beside the bin folder (build tree and installation alike). A
// library or function that cannot be loaded counts as "not available"; why is put in *problem.
bool CheckOutlookObject(QString* problem = nullptr);
// The same question put to a library at another place.
bool CheckOutlookObject(const QString& library, QString* problem);

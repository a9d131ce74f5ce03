#pragma once

#include <QString>
#include <QStringList>

class CallHistory;

// The answering machine's messages folder, kept in step with the history's messages: each
// message a whole file with its row, and the folder under its size limit. Each returns the
// event lines of what it did.
namespace MessageFolder {

// At start: a message whose recording was cut short (the program killed, the disk full; its
// row says 0 s) is measured and kept, or removed when it holds nothing; a row whose file is
// gone and a file without a row are removed.
QStringList tidy(CallHistory& history, const QString& folder);
// Over `limitMb`, the oldest heard messages go until it is under; an unheard one is never
// deleted: that the folder stays over is said instead.
QStringList keepUnder(CallHistory& history, const QString& folder, int limitMb);

} // namespace MessageFolder

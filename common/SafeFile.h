#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// File writes that leave the user's files whole whatever happens: a symbolic link planted in
// place of a file is refused instead of followed, an append that fails part-way is cut back so
// no broken record stays, and a rewrite goes to a new file that replaces the old one only once
// it is complete on disk. Files are created readable and writable by their owner only. Each
// function returns false with the reason in *error.
namespace SafeFile {

bool append(const QString& path, const QByteArray& data, QString* error);
// Empties the file, creating it if missing.
bool truncate(const QString& path, QString* error);
bool writeAtomically(const QString& path, const QByteArray& data, QString* error);
// The whole file; false when it cannot be read. A missing file reads as missing.
bool read(const QString& path, QByteArray* data, QString* error, bool* missing = nullptr);

// Removes what rewrites of a process that was killed left in the folder: the temporary files
// ".<name>.XXXXXX" of the files `ours` says are ours, once they are a minute old (a rewrite
// under way is younger). Returns how many went.
int removeLeftovers(const QString& folder, const std::function<bool(const QString& name)>& ours);

} // namespace SafeFile

#pragma once

#include <QString>

// Where the programs find the data they ship (sounds, help, icons): share/ringdesk beside the
// bin folder of the running executable, which holds in the build tree as after installation.
// And where the user's own files go, by the XDG base-directory rules.
namespace AppPaths {

QString dataDirectory();
QString dataFile(const QString& name);

// $XDG_CONFIG_HOME and $XDG_DATA_HOME when they hold an absolute path, else ~/.config and
// ~/.local/share: a relative value is ignored, as the base-directory rules say.
QString configHome();
QString dataHome();
QString cacheHome(); // $XDG_CACHE_HOME, else ~/.cache

} // namespace AppPaths

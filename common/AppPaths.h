#pragma once

#include <QString>

// Where the programs find the data they ship (sounds, help, icons): share/ringdesk beside the
// bin folder of the running executable, which holds in the build tree as after installation.
namespace AppPaths {

QString dataDirectory();
QString dataFile(const QString& name);

} // namespace AppPaths

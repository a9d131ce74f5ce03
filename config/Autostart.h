#pragma once

#include <QString>

// "Start Ringwatch when I log in": a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart/ringdesk.desktop) that starts the monitor in the notification
// area. Desktops that follow the XDG autostart rules (GNOME, KDE, Xfce, …) run it at log-in.
namespace Autostart {

QString entryPath();
bool enabled();
// Writes the entry for `program`, or removes it. False with the reason in *error.
bool setEnabled(bool on, const QString& program, QString* error);
// The Exec= value that runs `program --minimized`, quoted as the desktop-entry rules want.
QString execLine(const QString& program);

} // namespace Autostart

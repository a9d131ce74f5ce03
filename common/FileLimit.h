#pragma once

// Open files are what a flood of connections uses up first; the modem, the logs and the
// address book must always get theirs.
namespace FileLimit {

// Raises this process's soft limit of open files to its hard limit; the limit now in force.
long raiseToHard();
// The soft limit now in force; -1 when there is none.
long current();

} // namespace FileLimit

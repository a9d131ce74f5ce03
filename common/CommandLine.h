#pragma once

#include <QCommandLineParser>

// The command line of both programs: --help and --version answer and end the program before
// anything else happens, also without a display, and without touching a port or a file.
namespace CommandLine {

// True when the arguments ask for the help or the version, or cannot be taken (an option the
// program does not know, a missing value, an argument it takes none of): answer() then says so
// before anything else is started, a display least of all.
bool answersFirst(int argc, char* argv[], const QList<QCommandLineOption>& options);

// The parser with the program's description and the standard options; the caller adds its own
// options and then processes it.
void prepare(QCommandLineParser& parser, const QString& description);

// For answersFirst(): answers with a core application alone and returns the exit code, 2 for
// arguments it refuses (with the reason and the usage text on standard error).
int answer(int argc, char* argv[], const QString& name, const QString& description,
           const QList<QCommandLineOption>& options);

// ringdesk's --import-blocklist FILE and its --source NAME.
QCommandLineOption importBlocklistOption();
QCommandLineOption sourceOption();

// The version both programs report.
QString version();

} // namespace CommandLine

#pragma once

#include <QCommandLineParser>

// The command line of both programs: --help and --version answer and end the program before
// anything else happens, also without a display, and without touching a port or a file.
namespace CommandLine {

// True when the arguments ask for the help or the version.
bool asksForInformation(int argc, char* argv[]);

// The parser with the program's description and the standard options; the caller adds its own
// options and then processes it.
void prepare(QCommandLineParser& parser, const QString& description);

// For asksForInformation(): answers with a core application alone and returns the exit code.
int answer(int argc, char* argv[], const QString& name, const QString& description,
           const QList<QCommandLineOption>& options);

// ringdesk's --import-blocklist FILE and its --source NAME.
QCommandLineOption importBlocklistOption();
QCommandLineOption sourceOption();

// The version both programs report.
QString version();

} // namespace CommandLine

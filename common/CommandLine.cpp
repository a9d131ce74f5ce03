#include "common/CommandLine.h"

#include <QCoreApplication>
#include <cstring>

namespace CommandLine {

QString version()
{
    return QStringLiteral(RINGDESK_VERSION);
}

bool asksForInformation(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}

QCommandLineOption importBlocklistOption()
{
    return QCommandLineOption(
        QStringLiteral("import-blocklist"),
        QStringLiteral("Import a block list (no display needed): the U.S. \"Do Not Call\" "
                       "complaint CSV or one number a line. It replaces the list last imported "
                       "under the same --source."),
        QStringLiteral("FILE"));
}

QCommandLineOption sourceOption()
{
    return QCommandLineOption(QStringLiteral("source"),
                              QStringLiteral("The name an imported block list is kept under."),
                              QStringLiteral("NAME"));
}

void prepare(QCommandLineParser& parser, const QString& description)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
}

int answer(int argc, char* argv[], const QString& name, const QString& description,
           const QList<QCommandLineOption>& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(version());
    QCommandLineParser parser;
    prepare(parser, description);
    parser.addOptions(options);
    parser.process(app); // prints and exits
    return 0;
}

} // namespace CommandLine

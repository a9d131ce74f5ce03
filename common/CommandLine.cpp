#include "common/CommandLine.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace CommandLine {

QString version()
{
    return QStringLiteral(RINGDESK_VERSION);
}

namespace {

// The arguments as the program's own parser will see them: Qt takes its own options
// ("-platform xcb", "-style Fusion") out first.
QStringList argumentsOf(int argc, char* argv[])
{
    static const QStringList qtWithValue{
        "-platform",     "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
        "-qwindowtitle", "-qwindowicon",        "-session",       "-style",  "-stylesheet",
        "-display",      "-geometry",           "-name",          "-title"};
    static const QStringList qtAlone{"-reverse", "-widgetcount", "-sync", "-nograb", "-dograb"};
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (i > 0 && qtWithValue.contains(argument)) {
            ++i;
            continue;
        }
        if (i > 0 && (qtAlone.contains(argument) || argument.startsWith(QLatin1String("-style=")) ||
                      argument.startsWith(QLatin1String("-platform="))))
            continue;
        arguments << argument;
    }
    return arguments;
}

// Why the arguments cannot be taken, or nothing when they can.
QString refusal(QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.parse(arguments))
        return parser.errorText();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument: ") + parser.positionalArguments().join(u' ');
    return QString();
}

} // namespace

bool answersFirst(int argc, char* argv[], const QList<QCommandLineOption>& options)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    QCommandLineParser parser;
    prepare(parser, QString());
    parser.addOptions(options);
    return !refusal(parser, argumentsOf(argc, argv)).isEmpty();
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
    const QStringList arguments = argumentsOf(argc, argv);
    const QString refused = refusal(parser, arguments);
    if (!refused.isEmpty() && !parser.isSet(QStringLiteral("help")) &&
        !parser.isSet(QStringLiteral("version")) && !parser.isSet(QStringLiteral("help-all"))) {
        std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(name), qPrintable(refused),
                     qPrintable(parser.helpText()));
        return 2;
    }
    parser.process(arguments); // prints and exits
    return 0;
}

} // namespace CommandLine

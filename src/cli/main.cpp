#include "CliCheck.h"
#include "CliExitCodes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Velkor headless runner.\n\n"
        "Commands:\n"
        "  check FILE   Load and parse a command file; print the log lines, records and servers.\n\n"
        "Exit codes: 0 ok, 1 usage error, 2 script error, 3 request failed, 4 file not readable,\n"
        "130 aborted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("check"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The command file (.cmf)."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.parse(app.arguments())) {
        err << "velkor-cli: " << parser.errorText() << "\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        out.flush();
        return kExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "velkor-cli " << VELKOR_VERSION << Qt::endl;
        return kExitOk;
    }

    const QStringList args = parser.positionalArguments();
    if (args.size() == 2 && args[0] == QLatin1String("check"))
        return RunCheck(args[1], out, err);

    err << "velkor-cli: expected 'check FILE'\nTry 'velkor-cli --help'." << Qt::endl;
    return kExitUsage;
}

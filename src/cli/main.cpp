#include "CliCommand.h"
#include "CliDocs.h"
#include "CliExitCodes.h"
#include "CliFleetRun.h"
#include "CliOptions.h"
#include "VelkorVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

// velkor-cli COMMAND FILE [options]: the options come from the option table
// (CliOptions.h), the commands from CliCommands().
int main(int argc, char* argv[])
{
    // A fleet holds a connection per device: as many open files as allowed.
    RaiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Velkor headless runner.\n\n") + CliCommandsHelp() +
        QStringLiteral("\n"
                       "The run's verdict (one for the exit code, --stats and the reports): every request\n"
                       "must be answered, and not be slow (--fail-on-slow) or have an error status\n"
                       "(--fail-on-status), and its Expect and Capture lines must hold, as must the\n"
                       "run's Require lines and --require; when it fails, the last line on stderr says\n"
                       "why. Checks: docs/checks.md.\n\n") +
        CliExitCodesHelp());
    AddCliOptions(parser);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("check, run, merge or compare"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The command file (.cmf)."));

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.parse(app.arguments())) {
        err << "velkor-cli: " << parser.errorText() << "\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(app.arguments());  // prints the help with Qt's options and exits 0
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        out.flush();
        return kExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "velkor-cli " << VELKOR_VERSION << Qt::endl;
        return kExitOk;
    }
    if (parser.isSet(QString::fromLatin1(kCliPrintDocOption))) {
        QString strText;
        if (!CliDocPart(parser.value(QString::fromLatin1(kCliPrintDocOption)), &strText)) {
            err << "velkor-cli: no such generated part: " << parser.value(QString::fromLatin1(kCliPrintDocOption))
                << Qt::endl;
            return kExitUsage;
        }
        out << strText;
        out.flush();
        return kExitOk;
    }

    const QStringList args = parser.positionalArguments();
    if (args.size() >= 2)
        for (const CliCommand* pCommand : CliCommands())
            if (args[0] == pCommand->Name() && (args.size() == 2 || pCommand->TakesMoreFiles()))
                return pCommand->Execute(CliArguments(parser, args[1], args.mid(2)), out, err);

    err << "velkor-cli: expected 'check FILE', 'run FILE', 'merge OUT IN...' or 'compare BASE NEW'\nTry 'velkor-cli --help'." << Qt::endl;
    return kExitUsage;
}

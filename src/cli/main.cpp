#include "CliCheck.h"
#include "CliExitCodes.h"
#include "CliRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Velkor headless runner.\n\n"
        "Commands:\n"
        "  check FILE   Load and parse a command file; print the log lines, records and servers.\n"
        "  run FILE     Run a command file against its devices, printing the log as it happens.\n"
        "               Ctrl+C is \"Stop\" (taken at the next End, or ends a CheckAlive wait);\n"
        "               a second Ctrl+C before that stop was taken aborts at once.\n"
        "               SIGTERM and SIGHUP end the run at once.\n"
        "               --json and --junit write their reports when the run ends, also after\n"
        "               a stop or a signal (a run cut short gives a partial report).\n\n"
        "Exit codes: 0 ok (every request got a response), 1 usage error, 2 script error,\n"
        "3 a request failed or timed out, 4 file not readable or a report not written,\n"
        "5 a slow response (--fail-on-slow), 6 an HTTP status of 400 or above\n"
        "(--fail-on-status), 129 ended by SIGHUP, 130 aborted, 143 ended by SIGTERM.\n"
        "When several apply: 3 before 5 before 6; a signal's code before all."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption idOption(QStringLiteral("id"), QStringLiteral("User name for the devices (run)."),
                                      QStringLiteral("ID"), QStringLiteral("admin"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("Password for the devices (run)."), QStringLiteral("PW"),
                                            QStringLiteral("4719"));
    const QCommandLineOption thresholdOption(QStringLiteral("threshold"),
                                             QStringLiteral("Slow-response threshold in ms (run)."),
                                             QStringLiteral("MS"), QStringLiteral("300"));
    const QCommandLineOption logDirOption(QStringLiteral("log-dir"),
                                          QStringLiteral("Auto-save the log into this folder (run)."),
                                          QStringLiteral("DIR"));
    const QCommandLineOption caFileOption(QStringLiteral("cacert"),
                                          QStringLiteral("Trust the certificates in this file (run, https)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption insecureOption(QStringLiteral("insecure"),
                                            QStringLiteral("Accept any certificate of https devices (run)."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Write the run's JSON report to this file (run)."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption junitOption(QStringLiteral("junit"),
                                         QStringLiteral("Write the run's JUnit XML report to this file (run)."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption statsOption(QStringLiteral("stats"),
                                         QStringLiteral("Print the statistics per URL after the log (run)."));
    const QCommandLineOption failOnSlowOption(QStringLiteral("fail-on-slow"),
                                              QStringLiteral("Exit 5 when a response was slow (run)."));
    const QCommandLineOption failOnStatusOption(
        QStringLiteral("fail-on-status"), QStringLiteral("Exit 6 when an HTTP status was 400 or above (run)."));
    parser.addOptions({idOption, passwordOption, thresholdOption, logDirOption, caFileOption, insecureOption,
                       jsonOption, junitOption, statsOption, failOnSlowOption, failOnStatusOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("check or run"));
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
    if (args.size() == 2 && args[0] == QLatin1String("run")) {
        CliRunOptions options;
        options.strFile = args[1];
        options.strId = parser.value(idOption);
        options.strPassword = parser.value(passwordOption);
        options.strThreshold = parser.value(thresholdOption);
        options.strLogDir = parser.value(logDirOption);
        options.strCaFile = parser.value(caFileOption);
        options.bInsecure = parser.isSet(insecureOption);
        options.strJsonFile = parser.value(jsonOption);
        options.strJUnitFile = parser.value(junitOption);
        options.bStats = parser.isSet(statsOption);
        options.bFailOnSlow = parser.isSet(failOnSlowOption);
        options.bFailOnStatus = parser.isSet(failOnStatusOption);
        return RunScript(options, out, err);
    }

    err << "velkor-cli: expected 'check FILE' or 'run FILE'\nTry 'velkor-cli --help'." << Qt::endl;
    return kExitUsage;
}

#include "CliCheck.h"
#include "CliExitCodes.h"
#include "CliRun.h"

#include <QCommandLineParser>
#include <QFile>
#include <QCoreApplication>
#include <QTextStream>

#include <optional>

namespace {

// The password: --password, else the first line of --password-file, else
// VELKOR_PASSWORD, else the default. Both options at once is a usage error.
bool ResolvePassword(const std::optional<QString>& option, const QString& strFile, const QString& strEnvironment,
                     bool bEnvironmentSet, QString* pPassword, QString* pProblem)
{
    if (option && !strFile.isEmpty()) {
        *pProblem = QStringLiteral("give the password with --password or --password-file, not both");
        return false;
    }
    if (option) {
        *pPassword = *option;
    } else if (!strFile.isEmpty()) {
        QFile file(strFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *pProblem = QStringLiteral("the password file %1 cannot be read: %2").arg(strFile, file.errorString());
            return false;
        }
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        *pPassword = QString::fromUtf8(line);
    } else if (bEnvironmentSet) {
        *pPassword = strEnvironment;
    } else {
        *pPassword = CRunSettings::kDefaultPassword;
    }
    return true;
}

}  // namespace

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
        "  run FILE     Run a command file against its devices, printing the log as it happens\n"
        "               (FILE '-': the script from standard input).\n"
        "               Ctrl+C is \"Stop\" (taken at the next End, or ends a CheckAlive wait);\n"
        "               a second Ctrl+C before that stop was taken aborts at once.\n"
        "               SIGTERM and SIGHUP end the run at once.\n"
        "               --json and --junit write their reports when the run ends, also after\n"
        "               a stop or a signal (a run cut short gives a partial report).\n\n"
        "The run's verdict (one for the exit code, --stats and the reports): every request\n"
        "must be answered, and not be slow (--fail-on-slow) or have an error status\n"
        "(--fail-on-status); when it fails, the last line on stderr says which requests.\n\n"
        "Exit codes: 0 ok (every request got a response), 1 usage error, 2 script error,\n"
        "3 a request failed or timed out, 4 file not readable or a report not written,\n"
        "5 a slow response (--fail-on-slow), 6 an HTTP status of 400 or above\n"
        "(--fail-on-status), 129 ended by SIGHUP, 130 aborted, 143 ended by SIGTERM.\n"
        "When several apply: 3 before 5 before 6; a signal's code before all."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption idOption(QStringLiteral("id"), QStringLiteral("User name for the devices (run)."),
                                      QStringLiteral("ID"), CRunSettings::kDefaultId);
    const QCommandLineOption passwordOption(
        QStringLiteral("password"),
        QStringLiteral("Password for the devices (run); else --password-file, else the environment variable "
                       "VELKOR_PASSWORD, else 4719."),
        QStringLiteral("PW"));
    const QCommandLineOption passwordFileOption(
        QStringLiteral("password-file"),
        QStringLiteral("Read the password from the first line of this file (run); keeps it out of ps."),
        QStringLiteral("FILE"));
    const QCommandLineOption thresholdOption(QStringLiteral("threshold"),
                                             QStringLiteral("Slow-response threshold in ms, 0 to 2147483647 (run)."),
                                             QStringLiteral("MS"), QString::number(CRunSettings::kDefaultThresholdMs));
    const QCommandLineOption strictOption(
        QStringLiteral("strict"),
        QStringLiteral("Any syntax error line of the parse fails the script with exit 2 (check, run)."));
    const QCommandLineOption logDirOption(QStringLiteral("log-dir"),
                                          QStringLiteral("Auto-save the log into this folder (run)."),
                                          QStringLiteral("DIR"));
    const QCommandLineOption caFileOption(QStringLiteral("cacert"),
                                          QStringLiteral("Trust the certificates in this file (run, https)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption insecureOption(QStringLiteral("insecure"),
                                            QStringLiteral("Accept any certificate of https devices (run)."));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Write the run's JSON report to this file (run); '-': standard output, the log then goes to "
                       "standard error."),
        QStringLiteral("FILE"));
    const QCommandLineOption junitOption(
        QStringLiteral("junit"), QStringLiteral("Write the run's JUnit XML report to this file (run); '-' as for --json."),
        QStringLiteral("FILE"));
    const QCommandLineOption junitEachRequestOption(
        QStringLiteral("junit-each-request"),
        QStringLiteral("One JUnit test case per request instead of one per script line (run)."));
    const QCommandLineOption statsOption(QStringLiteral("stats"),
                                         QStringLiteral("Print the statistics per URL after the log (run)."));
    const QCommandLineOption failOnSlowOption(QStringLiteral("fail-on-slow"),
                                              QStringLiteral("Exit 5 when a response was slow (run)."));
    const QCommandLineOption failOnStatusOption(
        QStringLiteral("fail-on-status"), QStringLiteral("Exit 6 when an HTTP status was 400 or above (run)."));
    parser.addOptions({idOption, passwordOption, passwordFileOption, thresholdOption, strictOption, logDirOption,
                       caFileOption, insecureOption,
                       jsonOption, junitOption, junitEachRequestOption, statsOption, failOnSlowOption,
                       failOnStatusOption});
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
        return RunCheck(args[1], out, err, parser.isSet(strictOption));
    if (args.size() == 2 && args[0] == QLatin1String("run")) {
        CliRunOptions options;
        options.strFile = args[1];
        CRunSettings& settings = options.settings;
        settings.strId = parser.value(idOption);
        QString strProblem;
        if (!ResolvePassword(parser.isSet(passwordOption) ? std::optional(parser.value(passwordOption)) : std::nullopt,
                             parser.value(passwordFileOption), qEnvironmentVariable("VELKOR_PASSWORD"),
                             qEnvironmentVariableIsSet("VELKOR_PASSWORD"), &settings.strPassword, &strProblem)) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }
        if (!CRunSettings::ParseThreshold(parser.value(thresholdOption), &settings.nThresholdMs)) {
            err << "velkor-cli: --threshold takes a whole number of milliseconds, 0 to 2147483647 (digits only), not '"
                << parser.value(thresholdOption) << "'\nTry 'velkor-cli --help'." << Qt::endl;
            return kExitUsage;
        }
        settings.bStrict = parser.isSet(strictOption);
        options.strLogDir = parser.value(logDirOption);
        settings.tls.strCaFile = parser.value(caFileOption);
        settings.tls.bInsecure = parser.isSet(insecureOption);
        options.strJsonFile = parser.value(jsonOption);
        options.strJUnitFile = parser.value(junitOption);
        options.bJUnitEachRequest = parser.isSet(junitEachRequestOption);
        options.bStats = parser.isSet(statsOption);
        settings.bFailOnSlow = parser.isSet(failOnSlowOption);
        settings.bFailOnStatus = parser.isSet(failOnStatusOption);
        return RunScript(options, out, err);
    }

    err << "velkor-cli: expected 'check FILE' or 'run FILE'\nTry 'velkor-cli --help'." << Qt::endl;
    return kExitUsage;
}

#include "CliRun.h"

#include "CProgressLine.h"
#include "CRunProgress.h"
#include "CSignalWatcher.h"
#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliRunSupport.h"
#include "CliFleetRun.h"
#include "CliVariables.h"
#include "engine/CRunEngine.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "engine/StatisticsTable.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "log/ControlPictures.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "platform/MonotonicClock.h"
#include "report/CHtmlReport.h"
#include "report/CJsonLinesWriter.h"
#include "report/CJsonReport.h"
#include "report/CJUnitReport.h"
#include "report/CReportFile.h"
#include "report/CRunRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// The signals act on the one run.
class CRunSignals : public ISignalTarget {
public:
    explicit CRunSignals(CRunEngine& engine) : m_engine(engine) {}
    bool Stop() override
    {
        // A stop is waiting when none was taken yet by an End or a CheckAlive.
        if (m_engine.Context().m_hStopEvent.IsSet())
            return false;
        m_engine.OnBnClickedStop();
        return true;
    }
    void Abort() override { m_engine.AbortRun(); }

private:
    CRunEngine& m_engine;
};

// Waits for the run's end; with bProgress, shows how it goes on standard
// error (CProgressLine). outMutex: the log's, which standard error may share.
void ShowProgress(CRunEngine& engine, const CRunProgress& progress, bool bProgress, QTextStream& err,
                  std::mutex& outMutex)
{
    if (!bProgress) {
        while (!engine.WaitForRunEnd(1000)) {
        }
        return;
    }
    CProgressLine line(err, outMutex);
    while (!engine.WaitForRunEnd(line.EveryMs()))
        line.Show(progress.StatusLine());
    line.Finish(progress.StatusLine());
}

}  // namespace

int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    QStringList lines;
    QString strError;
    if (!ReadScriptLines(options.strFile, &lines, &strError)) {
        err << "velkor-cli: " << strError << Qt::endl;
        return kExitFileError;
    }
    if (const int nExit = CheckRunInputs(options, err); nExit != kExitOk)
        return nExit;

    CMemoryTextBox editLog;
    CLogWriter log(editLog);
    std::mutex outMutex;
    QTextStream& logOut = LogStream(options, out, err);
    SetConsoleSink(log, options, logOut, outMutex);
    if (!SubstituteScriptLogged(lines, options.variables, log)) {
        err << "velkor-cli: a placeholder of the script has no value" << Qt::endl;
        return kExitScriptError;
    }
    CMemoryTextBox editCommand;
    CCommandFile::InsertLines(editCommand, lines);
    CRunControlStates controls;
    CRunEngine engine(editCommand, editLog, log, controls);
    engine.Context().m_strScriptName =
        options.strFile == QLatin1String("-") ? QString() : QFileInfo(options.strFile).fileName();

    // The run's results: the verdict always, the rest only when asked for.
    CRunVerdict verdict;
    CRunStatistics statistics;
    CRunRecorder recorder;
    const bool bReports =
        !options.strJsonFile.isEmpty() || !options.strJUnitFile.isEmpty() || !options.strHtmlFile.isEmpty();
    engine.Context().m_listeners.push_back(&verdict);
    if (options.bStats)
        engine.Context().m_listeners.push_back(&statistics);
    if (bReports)
        engine.Context().m_listeners.push_back(&recorder);
    CRunProgress progress;
    if (options.bQuiet || options.bProgress)
        engine.Context().m_listeners.push_back(&progress);
    CJsonLinesWriter jsonLines;
    const bool bJsonLines = !options.strJsonLinesFile.isEmpty();
    if (bJsonLines) {
        QString strOpenError;
        if (!jsonLines.Open(options.strJsonLinesFile, &strOpenError)) {
            err << "velkor-cli: the report " << options.strJsonLinesFile << " cannot be written: " << strOpenError
                << Qt::endl;
            return kExitUsage;
        }
        engine.Context().m_listeners.push_back(&jsonLines);
        // Its summary carries the statistics.
        if (!options.bStats)
            engine.Context().m_listeners.push_back(&statistics);
    }

    CRunSignals signalTarget(engine);
    CSignalWatcher watcher(signalTarget);
    switch (engine.OnBnClickedSend(options.settings)) {
    case CRunEngine::ESendResult::NothingToRun:
        err << "velkor-cli: the command file " << options.strFile << " is empty" << Qt::endl;
        return kExitScriptError;
    case CRunEngine::ESendResult::ParseFailed:
        if (options.settings.bStrict)
            err << "velkor-cli: the script has a syntax error (--strict)" << Qt::endl;
        else if (options.bQuiet)
            err << "velkor-cli: the script cannot be run; without --quiet the log says why" << Qt::endl;
        return kExitScriptError;
    case CRunEngine::ESendResult::NeedLogFolder:
    case CRunEngine::ESendResult::AlreadyRunning:
        err << "velkor-cli: the run could not start" << Qt::endl;
        return kExitUsage;
    case CRunEngine::ESendResult::Started:
        break;
    }
    // A signal that came while "Send" was starting the run ends it now.
    if (watcher.EndingSignal() != 0)
        engine.AbortRun();
    ShowProgress(engine, progress, options.bProgress, err, outMutex);
    engine.OnClose();

    // One verdict for the exit code, the reports, --stats and the last line.
    const CRunVerdictSummary summary = verdict.Summary();
    int nExit = ExitAfterSignal(watcher.EndingSignal(), summary.nExitCode);

    if (options.bQuiet)
        logOut << "Summary: " << progress.Summary() << ", verdict " << summary.Name() << Qt::endl;
    if (options.bStats)
        PrintStatistics(logOut, statistics.Snapshot(), summary);
    if (bReports) {
        CRecordedRun run = recorder.Snapshot();
        run.verdict = summary;
        run.nExitCode = nExit;
        const QString strVersion = QCoreApplication::applicationVersion();
        const bool bWritten = SaveReports(
            options, err,
            {[&](const QString& strPath, QString* pError) { return CJsonReport::Save(strPath, run, strVersion, pError); },
             [&](const QString& strPath, QString* pError) {
                 return CJUnitReport::Save(strPath, run,
                                           options.bJUnitEachRequest ? CJUnitReport::ECases::PerRequest
                                                                     : CJUnitReport::ECases::PerLine,
                                           pError);
             },
             [&](const QString& strPath, QString* pError) { return CHtmlReport::Save(strPath, run, strVersion, pError); }});
        if (!bWritten)
            nExit = ExitWithReportLost(nExit);
    }

    if (bJsonLines) {
        QString strLinesError;
        if (!jsonLines.WriteSummary(statistics.Snapshot(), summary, nExit, &strLinesError)) {
            err << "velkor-cli: the report " << options.strJsonLinesFile << " was not written whole: " << strLinesError
                << Qt::endl;
            nExit = ExitWithReportLost(nExit);
        }
    }

    if (!summary.bPass)
        err << "velkor-cli: the run failed: " << ShowControlCharacters(summary.Describe()) << Qt::endl;
    SayEndingSignal(err, watcher.EndingSignal());
    return nExit;
}

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

class CRunCommand : public CliCommand {
public:
    ECliCommandBit Bit() const override { return kCliRun; }
    QString Description() const override
    {
        return QStringLiteral(
            "Run a command file against its devices, printing the log as it happens\n"
            "(FILE '-': the script from standard input).\n"
            "Ctrl+C is \"Stop\" (taken at the next End, or ends a CheckAlive wait);\n"
            "a second Ctrl+C before that stop was taken aborts at once.\n"
            "SIGTERM and SIGHUP end the run at once.\n"
            "--json and --junit write their reports when the run ends, also after\n"
            "a stop or a signal (a run cut short gives a partial report).");
    }
    int Execute(const CliArguments& args, QTextStream& out, QTextStream& err) const override
    {
        CliRunOptions options;
        options.strFile = args.File();
        CRunSettings& settings = options.settings;
        settings.strId = args.Value(ECliOption::Id);
        QString strProblem;
        if (!ResolvePassword(args.IsSet(ECliOption::Password) ? std::optional(args.Value(ECliOption::Password))
                                                              : std::nullopt,
                             args.Value(ECliOption::PasswordFile), qEnvironmentVariable("VELKOR_PASSWORD"),
                             qEnvironmentVariableIsSet("VELKOR_PASSWORD"), &settings.strPassword, &strProblem)) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }
        const QString strThreshold = args.Value(ECliOption::Threshold);
        if (!CRunSettings::ParseThreshold(strThreshold, &settings.nThresholdMs)) {
            err << "velkor-cli: --threshold takes a whole number of milliseconds, 0 to 2147483647 (digits only), not '"
                << strThreshold << "'\nTry 'velkor-cli --help'." << Qt::endl;
            return kExitUsage;
        }
        settings.bStrict = args.IsSet(ECliOption::Strict);
        options.strLogDir = args.Value(ECliOption::LogDir);
        settings.tls.strCaFile = args.Value(ECliOption::CaFile);
        settings.tls.bInsecure = args.IsSet(ECliOption::Insecure);
        options.strJsonFile = args.Value(ECliOption::Json);
        options.strJUnitFile = args.Value(ECliOption::JUnit);
        options.strHtmlFile = args.Value(ECliOption::Html);
        options.strJsonLinesFile = args.Value(ECliOption::JsonLines);
        options.bJUnitEachRequest = args.IsSet(ECliOption::JUnitEachRequest);
        options.bStats = args.IsSet(ECliOption::Stats);
        options.bQuiet = args.IsSet(ECliOption::Quiet);
        options.bProgress = args.IsSet(ECliOption::Progress);
        settings.bFailOnSlow = args.IsSet(ECliOption::FailOnSlow);
        settings.bFailOnStatus = args.IsSet(ECliOption::FailOnStatus);
        if (args.IsSet(ECliOption::MaxDuration)) {
            settings.strMaxDuration = args.Value(ECliOption::MaxDuration);
            if (!CRunSettings::ParseDuration(settings.strMaxDuration, &settings.nMaxDurationMs)) {
                err << "velkor-cli: --max-duration takes whole seconds, plain or with s, m or h (90s, 10m, 8h), "
                       "not '"
                    << settings.strMaxDuration << "'\nTry 'velkor-cli --help'." << Qt::endl;
                return kExitUsage;
            }
        }
        if (args.IsSet(ECliOption::MaxPasses) &&
            !CRunSettings::ParsePasses(args.Value(ECliOption::MaxPasses), &settings.nMaxPasses)) {
            err << "velkor-cli: --max-passes takes a number of passes, 1 to 2147483647 (digits only), not '"
                << args.Value(ECliOption::MaxPasses) << "'\nTry 'velkor-cli --help'." << Qt::endl;
            return kExitUsage;
        }
        for (const QString& strRequirement : args.Values(ECliOption::Require)) {
            CRequirement requirement;
            const QString strWhy = ReadRequirement(strRequirement, requirement);
            if (!strWhy.isEmpty()) {
                err << "velkor-cli: --require '" << strRequirement << "': " << strWhy << "\nTry 'velkor-cli --help'."
                    << Qt::endl;
                return kExitUsage;
            }
            settings.vecRequirements.push_back(requirement);
        }
        if (!CollectCliVariables(args, &options.variables, &strProblem)) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }
        if (args.IsSet(ECliOption::Devices) || args.IsSet(ECliOption::Jobs) || args.IsSet(ECliOption::Shard) ||
            args.IsSet(ECliOption::RampUp))
            return RunFleet(args, options, out, err);
        return RunScript(options, out, err);
    }
};

}  // namespace

const CliCommand& RunCommand()
{
    static const CRunCommand command;
    return command;
}

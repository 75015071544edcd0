#include "CliRun.h"

#include "CHtmlReport.h"
#include "CJUnitReport.h"
#include "CJsonLinesWriter.h"
#include "CJsonReport.h"
#include "CReportFile.h"
#include "CRunProgress.h"
#include "CRunRecorder.h"
#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliFleetRun.h"
#include "CliVariables.h"
#include "engine/CRunEngine.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "engine/StatisticsTable.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "platform/MonotonicClock.h"

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

// Takes the signals on a thread of its own, so that the handling may lock and
// log. Ctrl+C is "Stop"; another Ctrl+C while that stop has not been taken yet
// ends the process at once. SIGTERM and SIGHUP end the run as closing the
// window does, and the runner then exits with their code.
class CSignalWatcher {
public:
    explicit CSignalWatcher(CRunEngine& engine) : m_engine(engine)
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        sigaddset(&m_signals, SIGHUP);
        sigaddset(&m_signals, SIGUSR1);  // wakes the watcher when the run is over
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        m_thread = std::thread([this] { Watch(); });
    }
    ~CSignalWatcher()
    {
        pthread_kill(m_thread.native_handle(), SIGUSR1);
        m_thread.join();
        pthread_sigmask(SIG_UNBLOCK, &m_signals, nullptr);
    }

    // SIGTERM or SIGHUP once one came, else 0.
    int EndingSignal() const { return m_nEndingSignal.load(); }

private:
    void Watch()
    {
        for (;;) {
            int nSignal = 0;
            if (sigwait(&m_signals, &nSignal) != 0 || nSignal == SIGUSR1)
                return;
            if (nSignal != SIGINT) {
                m_nEndingSignal = nSignal;
                m_engine.AbortRun();
                continue;
            }
            // "timeout -s INT" and a terminal both may deliver one Ctrl+C
            // twice (to the process and to its group): a second SIGINT within
            // kSameCtrlCMs of the last is the same one.
            const std::int64_t nNowMs = MonotonicMs();
            const bool bSame = m_nLastInterruptMs >= 0 && nNowMs - m_nLastInterruptMs < kSameCtrlCMs;
            m_nLastInterruptMs = nNowMs;
            if (bSame)
                continue;
            if (!m_engine.Context().m_hStopEvent.IsSet()) {
                // No stop is waiting (none yet, or an End or a CheckAlive took it).
                static const char kMessage[] = "velkor-cli: stop requested (Ctrl+C again to abort)\n";
                (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
                m_engine.OnBnClickedStop();
            } else {
                static const char kMessage[] = "velkor-cli: aborted\n";
                fflush(stdout);
                (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
                _exit(kExitAborted);
            }
        }
    }

    static constexpr std::int64_t kSameCtrlCMs = 300;

    CRunEngine& m_engine;
    sigset_t m_signals;
    std::int64_t m_nLastInterruptMs = -1;
    std::atomic<int> m_nEndingSignal{0};
    std::thread m_thread;
};

// The table --stats prints after the log: one row per URL, then the run's,
// in the columns the results window shows; then the run's verdict.
void PrintStatistics(QTextStream& out, const CRunStatisticsSnapshot& snapshot, const CRunVerdictSummary& verdict)
{
    std::vector<QStringList> rows{StatisticsTable::Columns()};
    for (const CUrlStatistics& figures : snapshot.vecUrls)
        rows.push_back(StatisticsTable::Cells(figures, figures.strUrl));
    rows.push_back(StatisticsTable::Cells(snapshot.total, QStringLiteral("Total")));
    // The URL goes last, so the figures line up whatever its length.
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 1; i < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    out << "\nStatistics (times in ms)\n";
    for (const QStringList& row : rows) {
        QString strLine;
        for (qsizetype i = 1; i < row.size(); ++i)
            strLine += row[i].rightJustified(widths[std::size_t(i)]) + QLatin1Char(' ');
        out << strLine << ' ' << row[0] << '\n';
    }
    if (!snapshot.vecCheckAlives.empty()) {
        // The CheckAlive lines: their waits and the downtimes of the waits
        // that saw the device come back ("-" when none did).
        auto figure = [](std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); };
        std::vector<QStringList> aliveRows{{QStringLiteral("Waits"), QStringLiteral("Stopped"), QStringLiteral("Min"),
                                            QStringLiteral("Median"), QStringLiteral("Max"),
                                            QStringLiteral("CheckAlive")}};
        for (const CCheckAliveStatistics& line : snapshot.vecCheckAlives)
            aliveRows.push_back({QString::number(line.nWaits), QString::number(line.nStopped), figure(line.nMinMs),
                                 figure(line.nMedianMs), figure(line.nMaxMs),
                                 QStringLiteral("line %1: %2:%3").arg(line.nLine).arg(line.strHost, line.strPort)});
        std::vector<qsizetype> aliveWidths(aliveRows.front().size(), 0);
        for (const QStringList& row : aliveRows)
            for (qsizetype i = 0; i < row.size(); ++i)
                aliveWidths[std::size_t(i)] = std::max(aliveWidths[std::size_t(i)], row[i].size());
        out << "\nCheckAlive downtime (ms)\n";
        for (const QStringList& row : aliveRows) {
            QString strLine;
            for (qsizetype i = 0; i + 1 < row.size(); ++i)
                strLine += row[i].rightJustified(aliveWidths[std::size_t(i)]) + QLatin1Char(' ');
            out << strLine << ' ' << row.last() << '\n';
        }
    }
    out << "Verdict: " << verdict.Name() << " (" << verdict.Describe() << ")" << Qt::endl;
}

// Waits for the run's end; with bProgress, shows how it goes on standard
// error: on a terminal one line rewritten in place twice a second, else a
// plain line every 10 s. outMutex: the log's, which standard error may share.
void ShowProgress(CRunEngine& engine, const CRunProgress& progress, bool bProgress, QTextStream& err,
                  std::mutex& outMutex)
{
    if (!bProgress) {
        while (!engine.WaitForRunEnd(1000)) {
        }
        return;
    }
    const bool bTerminal = isatty(STDERR_FILENO) != 0;
    const int nEveryMs = bTerminal ? 500 : 10000;
    qsizetype nShown = 0;
    while (!engine.WaitForRunEnd(nEveryMs)) {
        const QString strLine = progress.StatusLine();
        std::lock_guard lock(outMutex);
        if (bTerminal) {
            // Spaces wipe what a longer line before left.
            err << '\r' << strLine << QString(std::max<qsizetype>(0, nShown - strLine.size()), QLatin1Char(' '));
            err.flush();
            nShown = strLine.size();
        } else {
            err << "velkor-cli: " << strLine << Qt::endl;
        }
    }
    if (bTerminal && nShown > 0)
        err << '\r' << progress.StatusLine() << Qt::endl;
}

}  // namespace

int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    QStringList lines;
    QString strError;
    if (options.strFile == QLatin1String("-")) {
        // The script from standard input, read to its end before the run.
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err << "velkor-cli: standard input cannot be read: " << input.errorString() << Qt::endl;
            return kExitFileError;
        }
        lines = CCommandFile::SplitLines(input.readAll());
    } else if (!CCommandFile::ReadLines(options.strFile, lines, strError)) {
        err << "velkor-cli: " << strError << Qt::endl;
        return kExitFileError;
    }
    if (!options.strLogDir.isEmpty()) {
        const QFileInfo dir(options.strLogDir);
        if (!dir.isDir() || !dir.isWritable()) {
            err << "velkor-cli: the log folder " << options.strLogDir << " does not exist or is not writable"
                << Qt::endl;
            return kExitUsage;
        }
    }

    QString strCaProblem;
    const QString& strCaFile = options.settings.tls.strCaFile;
    if (!strCaFile.isEmpty() && !CTlsConnection::CheckCaFile(strCaFile, &strCaProblem)) {
        err << "velkor-cli: the certificate file " << strCaFile << " cannot be used: " << strCaProblem
            << Qt::endl;
        return kExitUsage;
    }

    const QString strReportProblem =
        CReportFile::CheckPaths(options.strFile, {options.strJsonFile, options.strJUnitFile, options.strHtmlFile,
                                                  options.strJsonLinesFile});
    if (!strReportProblem.isEmpty()) {
        err << "velkor-cli: " << strReportProblem << Qt::endl;
        return kExitUsage;
    }

    CMemoryTextBox editLog;
    CLogWriter log(editLog);
    std::mutex outMutex;
    // A report on standard output ("-") leaves it to the report: the log goes to standard error.
    const QLatin1String stdoutPath("-");
    QTextStream& logOut = options.strJsonFile == stdoutPath || options.strJUnitFile == stdoutPath ||
                                  options.strHtmlFile == stdoutPath || options.strJsonLinesFile == stdoutPath
                              ? err
                              : out;
    if (options.bQuiet) {
        // The auto-save file is written apart from the sink.
        log.SetLineSink([](const QString&) {});
    } else {
        log.SetLineSink([&logOut, &outMutex](const QString& strLine) {
            std::lock_guard lock(outMutex);
            logOut << QStringView(strLine).chopped(2) << Qt::endl;
        });
    }
    if (!options.strLogDir.isEmpty()) {
        log.SetAutoSave(true);
        log.SetLogFolder(QDir(options.strLogDir).absolutePath());
    }
    if (!SubstituteCliScript(lines, options.variables, log)) {
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

    CSignalWatcher watcher(engine);
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
    int nExit = summary.nExitCode;
    switch (watcher.EndingSignal()) {
    case SIGTERM:
        nExit = kExitTerminated;
        break;
    case SIGHUP:
        nExit = kExitHangUp;
        break;
    default:
        break;
    }

    if (options.bQuiet)
        logOut << "Summary: " << progress.Summary() << ", verdict " << summary.Name() << Qt::endl;
    if (options.bStats)
        PrintStatistics(logOut, statistics.Snapshot(), summary);
    if (bReports) {
        CRecordedRun run = recorder.Snapshot();
        run.verdict = summary;
        run.nExitCode = nExit;
        QString strReportError;
        bool bWritten = true;
        if (!options.strJsonFile.isEmpty() &&
            !CJsonReport::Save(options.strJsonFile, run, QCoreApplication::applicationVersion(), &strReportError)) {
            err << "velkor-cli: the report " << options.strJsonFile << " was not written: " << strReportError
                << Qt::endl;
            bWritten = false;
        }
        if (!options.strJUnitFile.isEmpty() &&
            !CJUnitReport::Save(options.strJUnitFile, run,
                                options.bJUnitEachRequest ? CJUnitReport::ECases::PerRequest
                                                          : CJUnitReport::ECases::PerLine,
                                &strReportError)) {
            err << "velkor-cli: the report " << options.strJUnitFile << " was not written: " << strReportError
                << Qt::endl;
            bWritten = false;
        }
        if (!options.strHtmlFile.isEmpty() &&
            !CHtmlReport::Save(options.strHtmlFile, run, QCoreApplication::applicationVersion(), &strReportError)) {
            err << "velkor-cli: the report " << options.strHtmlFile << " was not written: " << strReportError
                << Qt::endl;
            bWritten = false;
        }
        if (!bWritten && nExit == kExitOk)
            nExit = kExitFileError;
    }

    if (bJsonLines) {
        QString strLinesError;
        if (!jsonLines.WriteSummary(statistics.Snapshot(), summary, nExit, &strLinesError)) {
            err << "velkor-cli: the report " << options.strJsonLinesFile << " was not written whole: " << strLinesError
                << Qt::endl;
            if (nExit == kExitOk)
                nExit = kExitFileError;
        }
    }

    if (!summary.bPass)
        err << "velkor-cli: the run failed: " << summary.Describe() << Qt::endl;
    switch (watcher.EndingSignal()) {
    case SIGTERM:
        err << "velkor-cli: the run was ended by SIGTERM" << Qt::endl;
        break;
    case SIGHUP:
        err << "velkor-cli: the run was ended by SIGHUP" << Qt::endl;
        break;
    default:
        break;
    }
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
        if (!CollectCliVariables(args, &options.variables, &strProblem)) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }
        if (args.IsSet(ECliOption::Devices) || args.IsSet(ECliOption::Jobs) || args.IsSet(ECliOption::Shard))
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

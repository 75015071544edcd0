#include "CliRun.h"

#include "CHtmlReport.h"
#include "CJUnitReport.h"
#include "CJsonLinesWriter.h"
#include "CJsonReport.h"
#include "CReportFile.h"
#include "CRunProgress.h"
#include "CRunRecorder.h"
#include "CSignalWatcher.h"
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

// Rows of figures, right-aligned in columns, each followed by its label (the
// row's last cell), so the figures line up whatever the labels' lengths.
void PrintAligned(QTextStream& out, const std::vector<QStringList>& rows)
{
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    for (const QStringList& row : rows) {
        QString strLine;
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            strLine += row[i].rightJustified(widths[std::size_t(i)]) + QLatin1Char(' ');
        out << strLine << ' ' << row.last() << '\n';
    }
}

// The table --stats prints after the log: one row per URL, then the run's,
// in the columns the results window shows; then the CheckAlive lines'
// downtimes, and the run's verdict.
void PrintStatistics(QTextStream& out, const CRunStatisticsSnapshot& snapshot, const CRunVerdictSummary& verdict)
{
    // The URL goes last.
    const auto urlLast = [](QStringList row) {
        row.append(row.takeFirst());
        return row;
    };
    std::vector<QStringList> rows{urlLast(StatisticsTable::Columns())};
    for (const CUrlStatistics& figures : snapshot.vecUrls)
        rows.push_back(urlLast(StatisticsTable::Cells(figures, figures.strUrl)));
    rows.push_back(urlLast(StatisticsTable::Cells(snapshot.total, QStringLiteral("Total"))));
    out << "\nStatistics (times in ms)\n";
    PrintAligned(out, rows);
    if (!snapshot.vecCheckAlives.empty()) {
        // The downtimes of the waits that saw the device come back ("-" when none did).
        auto figure = [](std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); };
        std::vector<QStringList> aliveRows{{QStringLiteral("Waits"), QStringLiteral("Stopped"), QStringLiteral("Min"),
                                            QStringLiteral("Median"), QStringLiteral("Max"),
                                            QStringLiteral("CheckAlive")}};
        for (const CCheckAliveStatistics& line : snapshot.vecCheckAlives)
            aliveRows.push_back({QString::number(line.nWaits), QString::number(line.nStopped), figure(line.nMinMs),
                                 figure(line.nMedianMs), figure(line.nMaxMs),
                                 QStringLiteral("line %1: %2:%3").arg(line.nLine).arg(line.strHost, line.strPort)});
        out << "\nCheckAlive downtime (ms)\n";
        PrintAligned(out, aliveRows);
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

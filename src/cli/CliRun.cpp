#include "CliRun.h"

#include "CJUnitReport.h"
#include "CJsonReport.h"
#include "CRunRecorder.h"
#include "CliExitCodes.h"
#include "engine/CRunEngine.h"
#include "engine/CRunStatistics.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
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
            } else if (!m_engine.Context().m_hStopEvent.IsSet()) {
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

    CRunEngine& m_engine;
    sigset_t m_signals;
    std::atomic<int> m_nEndingSignal{0};
    std::thread m_thread;
};

// What --fail-on-slow and --fail-on-status ask of a run.
class CRunVerdict : public IRunListener {
public:
    void OnRequest(const CRequestResult& result) override
    {
        if (result.outcome == ERequestOutcome::Slow)
            m_bSlow.store(true, std::memory_order_relaxed);
        if (result.nStatus >= 400)
            m_bErrorStatus.store(true, std::memory_order_relaxed);
    }
    bool Slow() const { return m_bSlow.load(); }
    bool ErrorStatus() const { return m_bErrorStatus.load(); }

private:
    std::atomic<bool> m_bSlow{false};
    std::atomic<bool> m_bErrorStatus{false};
};

// The folder a report goes into must be there and writable before the run.
bool ReportFolderUsable(const QString& strFile)
{
    const QFileInfo folder(QFileInfo(strFile).absolutePath());
    return folder.isDir() && folder.isWritable() && !QFileInfo(strFile).isDir();
}

QString Figure(std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); }

QString StatisticsRow(const CUrlStatistics& figures, const QString& strName)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11  %12")
        .arg(figures.nCount, 7)
        .arg(figures.nOk, 7)
        .arg(figures.nSlow, 5)
        .arg(figures.nTimeout, 7)
        .arg(figures.nFailed, 6)
        .arg(figures.nNotSent, 8)
        .arg(Figure(figures.nMinMs), 6)
        .arg(Figure(figures.nMedianMs), 6)
        .arg(Figure(figures.nP95Ms), 6)
        .arg(Figure(figures.nMaxMs), 6)
        .arg(figures.nTimed == 0 ? QStringLiteral("-") : QString::number(figures.dMeanMs, 'f', 1), 8)
        .arg(strName);
}

// The table --stats prints after the log: one row per URL, then the run's.
void PrintStatistics(QTextStream& out, const CRunStatisticsSnapshot& snapshot)
{
    out << "\nStatistics (times in ms)\n"
        << "  count      ok  slow timeout failed not-sent    min median    p95    max     mean  url\n";
    for (const CUrlStatistics& figures : snapshot.vecUrls)
        out << StatisticsRow(figures, figures.strUrl) << '\n';
    out << StatisticsRow(snapshot.total, QStringLiteral("total")) << Qt::endl;
}

}  // namespace

int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    QStringList lines;
    QString strError;
    if (!CCommandFile::ReadLines(options.strFile, lines, strError)) {
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
    if (!options.strCaFile.isEmpty() && !CTlsConnection::CheckCaFile(options.strCaFile, &strCaProblem)) {
        err << "velkor-cli: the certificate file " << options.strCaFile << " cannot be used: " << strCaProblem
            << Qt::endl;
        return kExitUsage;
    }

    for (const QString& strReport : {options.strJsonFile, options.strJUnitFile}) {
        if (!strReport.isEmpty() && !ReportFolderUsable(strReport)) {
            err << "velkor-cli: the report " << strReport << " cannot be written there" << Qt::endl;
            return kExitUsage;
        }
    }

    CMemoryTextBox editCommand;
    CCommandFile::InsertLines(editCommand, lines);
    CMemoryTextBox editLog;
    CLogWriter log(editLog);
    std::mutex outMutex;
    log.SetLineSink([&out, &outMutex](const QString& strLine) {
        std::lock_guard lock(outMutex);
        out << QStringView(strLine).chopped(2) << Qt::endl;
    });
    if (!options.strLogDir.isEmpty()) {
        log.SetAutoSave(true);
        log.SetLogFolder(QDir(options.strLogDir).absolutePath());
    }
    CRunControlStates controls;
    CRunEngine engine(editCommand, editLog, log, controls);
    engine.Context().m_tlsOptions.strCaFile = options.strCaFile;
    engine.Context().m_tlsOptions.bInsecure = options.bInsecure;
    engine.Context().m_strScriptName = QFileInfo(options.strFile).fileName();

    // The run's results: kept only for what was asked for.
    CRunVerdict verdict;
    CRunStatistics statistics;
    CRunRecorder recorder;
    const bool bReports = !options.strJsonFile.isEmpty() || !options.strJUnitFile.isEmpty();
    if (options.bFailOnSlow || options.bFailOnStatus)
        engine.Context().m_listeners.push_back(&verdict);
    if (options.bStats)
        engine.Context().m_listeners.push_back(&statistics);
    if (bReports)
        engine.Context().m_listeners.push_back(&recorder);

    CSignalWatcher watcher(engine);
    switch (engine.OnBnClickedSend(options.strId, options.strPassword, options.strThreshold)) {
    case CRunEngine::ESendResult::NothingToRun:
        err << "velkor-cli: the command file " << options.strFile << " is empty" << Qt::endl;
        return kExitScriptError;
    case CRunEngine::ESendResult::ParseFailed:
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
    while (!engine.WaitForRunEnd(1000)) {
    }
    engine.OnClose();

    int nExit = kExitOk;
    if (engine.Context().m_nRequestsFailed > 0)
        nExit = kExitRequestFailed;
    else if (options.bFailOnSlow && verdict.Slow())
        nExit = kExitSlow;
    else if (options.bFailOnStatus && verdict.ErrorStatus())
        nExit = kExitErrorStatus;

    if (options.bStats)
        PrintStatistics(out, statistics.Snapshot());
    if (bReports) {
        const CRecordedRun run = recorder.Snapshot();
        QString strReportError;
        bool bWritten = true;
        if (!options.strJsonFile.isEmpty() &&
            !CJsonReport::Save(options.strJsonFile, run, QCoreApplication::applicationVersion(), &strReportError)) {
            err << "velkor-cli: the report " << options.strJsonFile << " was not written: " << strReportError
                << Qt::endl;
            bWritten = false;
        }
        if (!options.strJUnitFile.isEmpty() &&
            !CJUnitReport::Save(options.strJUnitFile, run, options.bFailOnSlow, &strReportError)) {
            err << "velkor-cli: the report " << options.strJUnitFile << " was not written: " << strReportError
                << Qt::endl;
            bWritten = false;
        }
        if (!bWritten && nExit == kExitOk)
            nExit = kExitFileError;
    }

    switch (watcher.EndingSignal()) {
    case SIGTERM:
        err << "velkor-cli: the run was ended by SIGTERM" << Qt::endl;
        return kExitTerminated;
    case SIGHUP:
        err << "velkor-cli: the run was ended by SIGHUP" << Qt::endl;
        return kExitHangUp;
    default:
        return nExit;
    }
}

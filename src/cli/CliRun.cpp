#include "CliRun.h"

#include "CliExitCodes.h"
#include "engine/CRunEngine.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"

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

    if (!options.strCaFile.isEmpty() && !QFileInfo(options.strCaFile).isReadable()) {
        err << "velkor-cli: the certificate file " << options.strCaFile << " cannot be read" << Qt::endl;
        return kExitUsage;
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
    switch (watcher.EndingSignal()) {
    case SIGTERM:
        err << "velkor-cli: the run was ended by SIGTERM" << Qt::endl;
        return kExitTerminated;
    case SIGHUP:
        err << "velkor-cli: the run was ended by SIGHUP" << Qt::endl;
        return kExitHangUp;
    default:
        return engine.Context().m_nRequestsFailed > 0 ? kExitRequestFailed : kExitOk;
    }
}

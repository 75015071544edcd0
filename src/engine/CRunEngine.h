#pragma once

#include "CRunContext.h"
#include "platform/CFiberScheduler.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class ITextBox;

// Run control: starts a run on its worker thread, passes "Stop" on, cleans up
// after every run and on closing. A front end owns one engine and reaches it
// through these operations; the engine reaches the front end only through the
// text boxes, the log writer and the run controls.
class CRunEngine {
public:
    enum class ESendResult {
        NothingToRun,    // the command box is empty
        NeedLogFolder,   // auto-save is on but no folder is set
        ParseFailed,     // the parser's log lines say why
        AlreadyRunning,  // a worker is still recorded
        Started,
    };

    CRunEngine(ITextBox& editCommand, ITextBox& editLog, CLogWriter& log, IRunControls& controls);
    ~CRunEngine();
    CRunEngine(const CRunEngine&) = delete;
    CRunEngine& operator=(const CRunEngine&) = delete;

    // "Send" with the run's settings (credentials, threshold, TLS options,
    // the verdict's rules).
    ESendResult OnBnClickedSend(const CRunSettings& settings);
    // "Stop": taken by the next End of the run, and ends a CheckAlive wait.
    void OnBnClickedStop();
    // Closing: ends the run promptly, waits for the worker and cleans up.
    void OnClose();
    // Asks the worker to end the run at once, as closing does, without
    // waiting for it; OnClose or WaitForRunEnd then see the run's end.
    void AbortRun();

    bool IsRunning() const;
    // Waits for the worker to finish its run; false when the time ran out.
    bool WaitForRunEnd(int nTimeoutMs);

    CRunContext& Context() { return m_context; }
    // Runs the next runs on a fiber of this scheduler instead of a thread of
    // their own (a fleet's devices); nullptr: a worker thread again.
    void SetFiberScheduler(CFiberScheduler* pScheduler) { m_pScheduler = pScheduler; }

    // Bytes of the ID and password that a run hands to the devices.
    static constexpr int kCredentialBytes = 254;

private:
    void RunThreadProc();
    // Closes the servers' connections and empties the script.
    void ResetRun();
    // ResetRun, then the controls and the log file as after every run.
    void EndRun();
    void JoinFinishedWorker();

    ITextBox& m_editCommand;
    ITextBox& m_editLog;
    CRunContext m_context;

    std::thread m_hWorkerThread;
    CFiberScheduler* m_pScheduler = nullptr;
    CFiberScheduler::CTask m_workerFiber;  // the run's fiber, when on a scheduler
    mutable std::mutex m_runMutex;
    std::condition_variable m_runEnded;
    bool m_bWorkerActive = false;  // guarded by m_runMutex
};

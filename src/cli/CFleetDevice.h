#pragma once

#include "CJsonLinesWriter.h"
#include "CRunRecorder.h"
#include "CSignalWatcher.h"
#include "script/DeviceList.h"
#include "engine/CRunEngine.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

// The devices of a run over a device list, as velkor-cli runs them.

// One device of the run: its script, its boxes and log, its results.
struct CFleetDevice {
    explicit CFleetDevice(SDevice row) : device(std::move(row)), log(editLog) {}

    SDevice device;
    CMemoryTextBox editCommand;
    CMemoryTextBox editLog;
    CLogWriter log;
    CRunControlStates controls;
    CRunVerdict verdict;
    CRunStatistics statistics;
    CRunRecorder recorder;        // with --json, --junit, --html or --jsonl
    CJsonLinesWriter jsonLines;   // with --jsonl: on the file all devices share
    std::unique_ptr<CRunEngine> engine;  // while it runs
    enum class EState { Waiting, Running, Done, ScriptError, NotStarted } state = EState::Waiting;
};

// The devices that run now, shared by the main thread (which starts and
// reaps them) and the signal watcher (which stops or aborts them).
class CFleetControl {
public:
    std::mutex m_mutex;
    std::vector<CFleetDevice*> m_running;  // guarded by m_mutex
    bool m_bStopping = false;              // guarded: no device starts any more
    bool m_bAborting = false;              // guarded: likewise, and the running ones were aborted
};

// The signals as CliRun takes them for one device, for all devices at once:
// Ctrl+C is "Stop" for every running device; another Ctrl+C while one of
// those stops has not been taken ends the process; SIGTERM and SIGHUP abort
// every device. No device starts after either.
class CFleetSignals : public ISignalTarget {
public:
    explicit CFleetSignals(CFleetControl& control) : m_control(control) {}
    bool Stop() override
    {
        std::lock_guard lock(m_control.m_mutex);
        const bool bStopWaiting =
            std::any_of(m_control.m_running.begin(), m_control.m_running.end(), [](CFleetDevice* pDevice) {
                return pDevice->engine->Context().m_hStopEvent.IsSet();
            });
        if (bStopWaiting)
            return false;
        m_control.m_bStopping = true;
        for (CFleetDevice* pDevice : m_control.m_running)
            pDevice->engine->OnBnClickedStop();
        return true;
    }
    void Abort() override
    {
        std::lock_guard lock(m_control.m_mutex);
        m_control.m_bAborting = true;
        for (CFleetDevice* pDevice : m_control.m_running)
            pDevice->engine->AbortRun();
    }

private:
    CFleetControl& m_control;
};

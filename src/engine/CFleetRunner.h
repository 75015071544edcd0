#pragma once

#include "CRunSettings.h"
#include "CRunStatistics.h"
#include "CRunVerdict.h"
#include "RunResults.h"
#include "script/DeviceList.h"
#include "script/Placeholders.h"

class CFiberScheduler;

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// One device's run as its listeners heard it: the start, every request and
// CheckAlive wait, the end. Filled on the device's worker, read anywhere.
class CRunRecord : public IRunListener {
public:
    struct SCopy {
        CRunStartInfo start;
        std::vector<CRequestResult> requests;
        std::vector<CCheckAliveResult> waits;
        std::optional<CRunEndInfo> end;
    };

    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;
    void OnRunEnd(const CRunEndInfo& info) override;

    SCopy Copy() const;
    // The last request's HTTP status; -1 before one brought a response.
    int LastStatus() const;
    // Grows with every record taken in.
    std::uint64_t Revision() const { return m_nRevision.load(std::memory_order_acquire); }

private:
    mutable std::mutex m_mutex;
    SCopy m_run;
    std::atomic<std::uint64_t> m_nRevision{0};
};

// Runs one script on every device of a device list, each on its own engine
// with its own log writer, figures and verdict, at most nJobs at once in the
// list's order. A device's columns replace the script's {{name}}
// placeholders; its "id" and "password" columns, when there, win over the
// settings'. Every log line goes to the line sink with the device's name in
// brackets before it. The owner calls Poll() now and then (every few tens of
// ms) on its own thread: it starts devices while there is room and takes in
// those whose run ended. No widgets. The devices' runs are fibers on one
// event loop thread per core (VELKOR_FLEET_THREADS=1 in the environment: a
// worker thread each, as a single run has). Stop,
// StopUnlessWaiting and AbortRunning may also come from another thread (a
// signal watcher).
class CFleetRunner {
public:
    enum class EState { Waiting, Running, Done, ScriptError, NotRun };

    // The devices by state, and the fleet's verdict from them: the fleet
    // passes only when every device ran to its end and passed. A device that
    // never ran (a Stop came before its turn) or whose script had an error
    // fails it, as a failed device does.
    struct SSummary {
        std::size_t nDevices = 0;
        std::size_t nWaiting = 0;
        std::size_t nRunning = 0;
        std::size_t nPassed = 0;
        std::size_t nFailed = 0;
        std::size_t nScriptError = 0;
        std::size_t nNotRun = 0;

        void Add(EState eState, bool bPassed);
        std::size_t Settled() const { return nPassed + nFailed + nScriptError + nNotRun; }
        bool IsOver() const { return nWaiting == 0 && nRunning == 0; }
        bool Passed() const { return nDevices > 0 && nPassed == nDevices; }
        // "3 of 4 pass", "5 of 20 pass, 15 not run" (of the devices settled
        // so far), "fail: " before it once the fleet is over and failed;
        // empty while none is settled.
        QString VerdictText() const;
    };

    // A prefixed, stamped log line ("[name] [hh:mm:ss.zzz] text\r\n"); called
    // on the devices' workers and on the owner's thread.
    using LineSink = std::function<void(const QString& strLine)>;
    // Called on a device's worker (or the owner's thread) whenever its state
    // or figures changed; nDevice is its place in the list.
    using ChangeSink = std::function<void(std::size_t nDevice)>;

    struct SStart {
        QStringList lines;        // the script as typed, placeholders unreplaced
        QString strScriptName;    // the command file's name; empty: typed
        CRunSettings settings;
        int nJobs = 0;            // devices at once; 0 or less: all
        // The devices start evenly spread over this time, in the list's
        // order: device k of n not before k * nRampUpMs / (n - 1) after
        // Start(); 0: all at once (as room allows).
        std::int64_t nRampUpMs = 0;
        bool bAutoSave = false;   // each device its own file in strLogFolder
        QString strLogFolder;
        ScriptVariables variables;  // placeholders' values; a device's columns win
        // More listeners of a device's run (reports), after the runner's own.
        std::function<void(std::size_t nDevice, std::vector<IRunListener*>& listeners)> addListeners;
    };

    CFleetRunner(LineSink lineSink, ChangeSink changeSink);
    ~CFleetRunner();
    CFleetRunner(const CFleetRunner&) = delete;
    CFleetRunner& operator=(const CFleetRunner&) = delete;

    // Takes the devices and starts the first nJobs. A placeholder without a
    // value in any device's script writes that device's "<Syntax error>"
    // lines and starts none (false). An earlier fleet must be over.
    bool Start(const std::vector<SDevice>& devices, const SStart& start);
    // Starts waiting devices while there is room, takes in ended ones. True
    // while some device runs or waits.
    bool Poll();
    // "Stop" for every running device (taken at its next End or ends its
    // CheckAlive wait); no waiting device starts any more.
    void Stop();
    // Ctrl+C as velkor-cli takes it: false, and nothing else, while a stop
    // of a running device has not been taken yet; else Stop() and true.
    bool StopUnlessWaiting();
    // Ends every running device at once and starts no more; Poll() takes
    // them in (SIGTERM, SIGHUP).
    void AbortRunning();
    // Ends every running device at once and waits for them (closing).
    void Abort();
    bool IsActive() const;

    std::size_t Count() const { return m_devices.size(); }
    const SDevice& Device(std::size_t nDevice) const;
    const QString& Name(std::size_t nDevice) const;
    EState State(std::size_t nDevice) const;
    CUrlStatistics Total(std::size_t nDevice) const;
    CRunStatisticsSnapshot Statistics(std::size_t nDevice) const;
    CRunVerdictSummary Verdict(std::size_t nDevice) const;
    const CRunRecord& Record(std::size_t nDevice) const;
    // When the device's run started, by the wall clock; invalid before.
    QDateTime StartedAt(std::size_t nDevice) const;
    // Every device's state and verdict as they are now.
    SSummary Summary() const;
    // Grows each time a device's run is taken in as done: a caller that
    // walks the devices for their ends need not walk while it stays.
    std::size_t DoneCount() const { return m_nDone.load(); }

    // "waiting", "running", "done", "script error", "not run".
    static QString StateText(EState eState);

    static constexpr int kMaxJobs = 10000;

private:
    struct SDeviceRun;

    void StartWaiting();
    // Takes in the devices whose run ended; without bEveryDevice, only when
    // one told its end or kWalkEveryMs passed since the last look.
    void TakeInEnded(bool bEveryDevice = false);
    static constexpr std::int64_t kWalkEveryMs = 250;

    mutable std::mutex m_mutex;  // the engines, m_nNext and m_bStopping, against Stop from elsewhere
    // The devices' runs as fibers on one thread per core; made with the first
    // device started, kept for the next fleets.
    std::unique_ptr<CFiberScheduler> m_pScheduler;
    LineSink m_lineSink;
    ChangeSink m_changeSink;
    SStart m_start;
    std::vector<std::unique_ptr<SDeviceRun>> m_devices;
    std::size_t m_nNext = 0;
    std::size_t m_nRunning = 0;                 // devices with an engine
    std::atomic<std::int64_t> m_nEndsTold{0};   // runs that told their end, not yet taken in
    std::atomic<std::size_t> m_nDone{0};        // devices that became Done, ever
    std::int64_t m_nLastWalkMs = 0;
    std::int64_t m_nStartedMs = 0;  // when Start() took the devices (MonotonicMs)
    bool m_bStopping = false;
};

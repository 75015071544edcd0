#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>
#include <thread>

// What the runner's signals act on: one run, or every device of a fleet.
class ISignalTarget {
public:
    virtual ~ISignalTarget() = default;
    // Ctrl+C: when a Stop is still waiting to be taken, false and nothing
    // else; otherwise Stop every run and true.
    virtual bool Stop() = 0;
    // SIGTERM or SIGHUP: end every run at once, as closing the window does.
    virtual void Abort() = 0;
};

// Takes SIGINT, SIGTERM and SIGHUP on a thread of its own, so that their
// handling may lock and log. Ctrl+C is "Stop"; another Ctrl+C while that stop
// has not been taken yet ends the process at once (exit status 130). SIGTERM
// and SIGHUP abort, and the runner then exits with their code. The signals
// are blocked in every thread made after the watcher, which must therefore
// come before the runs' threads.
class CSignalWatcher {
public:
    explicit CSignalWatcher(ISignalTarget& target);
    ~CSignalWatcher();
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // SIGTERM or SIGHUP once one came, else 0.
    int EndingSignal() const { return m_nEndingSignal.load(); }

private:
    void Watch();

    // "timeout -s INT" and a terminal both may deliver one Ctrl+C twice (to
    // the process and to its group): a second SIGINT within this many ms of
    // the last is the same one.
    static constexpr std::int64_t kSameCtrlCMs = 300;

    ISignalTarget& m_target;
    sigset_t m_signals;
    std::int64_t m_nLastInterruptMs = -1;
    std::atomic<int> m_nEndingSignal{0};
    std::thread m_thread;
};

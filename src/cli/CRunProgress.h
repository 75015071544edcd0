#pragma once

#include "engine/CFleetRunner.h"
#include "engine/RunResults.h"

#include <QString>

#include <cstdint>
#include <mutex>

// What --progress shows of a running run: a listener that counts as the
// results come (on the worker), and the status line the runner prints from
// its own thread:
//   "0:12:05 pass 37 | 1234 requests: 1200 ok, 30 slow, 4 failed | 1.7 req/s | last 15 ms"
// (elapsed since the run's start; failed counts time-outs, failures and
// requests not sent; the pass is the While pass of the last request).
//
// For a fleet, one listens to every device's run: the counts are the
// fleet's, the clock starts with the first device, and FleetStatusLine adds
// the devices' states:
//   "0:01:05 | devices: 12 done, 5 running, 983 waiting | 1234 requests: 1200 ok, 30 slow, 4 failed | 19.0 req/s | last 15 ms"
class CRunProgress : public IRunListener {
public:
    // bFleet: one progress for the runs of every device of a fleet.
    explicit CRunProgress(bool bFleet = false) : m_bFleet(bFleet) {}

    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;

    QString StatusLine() const;
    QString FleetStatusLine(const CFleetRunner::SSummary& devices) const;
    // "N requests (ok A, slow B, timeout C, failed D, not sent E), W CheckAlive waits, S s"
    QString Summary() const;

private:
    struct CCounts {
        std::int64_t nStartMs = -1;  // MonotonicMs() at the run's start; -1: not started
        std::uint64_t nRequests = 0, nOk = 0, nSlow = 0, nTimeout = 0, nFailed = 0, nNotSent = 0, nWaits = 0;
        int nPass = 0;
        std::int64_t nLastMs = -1;
    };
    CCounts Counts() const;
    // " | N requests: ... | R req/s | last T ms"
    static QString Figures(const CCounts& counts, std::int64_t nElapsedMs);

    const bool m_bFleet;

    mutable std::mutex m_mutex;
    CCounts m_counts;
};

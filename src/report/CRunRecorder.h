#pragma once

#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "engine/RunResults.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <mutex>
#include <vector>

// One request of a recorded run; the URL, host and port are shared by all
// requests to the same place (see CRecordedRun::vecTargets).
struct CRecordedRequest {
    int nIndex = 0;
    int nPass = 0;
    int nLine = 0;
    int nStatus = -1;
    std::int64_t nTimeMs = 0;
    std::int64_t nTimeUs = 0;   // -1: not known (read back from a report without it)
    std::int64_t nAtMs = 0;
    ERequestOutcome outcome = ERequestOutcome::Ok;
    bool bPass = true;
    bool bCheckFailed = false;  // an Expect or Capture line failed (the reason: the first)
    std::uint32_t nTarget = 0;  // index into CRecordedRun::vecTargets
    std::int32_t nReason = -1;  // index into CRecordedRun::vecReasons; -1: none
};

struct CRecordedTarget {
    QString strUrl;
    QString strScheme;
    QString strHost;
    QString strPort;
    QString strTarget;  // the request target as typed: path and query
};

// The record of one result; nTarget and nReason are left for the caller.
CRecordedRequest RecordOf(const CRequestResult& result);

// A run's results as the report writers read them.
struct CRecordedRun {
    bool bStarted = false;
    CRunStartInfo start;
    std::vector<CRecordedTarget> vecTargets;
    std::vector<CRecordedRequest> vecRequests;  // in the order they were made
    std::vector<QString> vecReasons;            // why requests failed, each text once
    std::vector<CCheckAliveResult> vecCheckAlives;  // the CheckAlive waits, in order
    bool bEnded = false;
    CRunEndInfo end;
    // Filled in by the runner once the run is over: the run's verdict and the
    // exit code it gives.
    CRunVerdictSummary verdict;
    int nExitCode = 0;

    // A report of this run is partial when the run was cut short or its end
    // never came.
    bool IsPartial() const { return !bEnded || !end.bComplete; }
};

// Keeps a run's results for the reports written at its end: a listener on
// the run. OnRunStart forgets the previous run. The records are compact (a
// URL is kept once, however often it is requested), so a long soak stays
// small. Thread-safe: the worker records while another thread takes a copy.
class CRunRecorder : public IRunListener {
public:
    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;
    void OnRunEnd(const CRunEndInfo& info) override;

    CRecordedRun Snapshot() const;

private:
    mutable std::mutex m_mutex;
    CRecordedRun m_run;
    QHash<QString, std::uint32_t> m_hashTargets;  // URL, host and port -> vecTargets index
    QHash<QString, std::int32_t> m_hashReasons;   // reason -> vecReasons index
};

// The figures of a recorded run, per URL and in total, as CRunStatistics
// gives them during a run.
CRunStatisticsSnapshot StatisticsOf(const CRecordedRun& run);

#pragma once

#include "CRunStatistics.h"
#include "RunResults.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// One request that made a run fail.
struct CFailedRequest {
    int nIndex = 0;
    int nPass = 0;
    int nLine = 0;
    QString strUrl;
    int nStatus = -1;
    ERequestOutcome outcome = ERequestOutcome::Ok;
    QString strReason;
    bool bCheckFailed = false;  // an Expect or Capture line failed (strReason: the first)

    // "URL (timeout)", "URL (status 404)", "URL (failed: response cut short ...)",
    // "URL (check: expected status 200, got 503)".
    QString Describe() const;
};

// The verdict of a run, read by everything that judges it: the exit code,
// the reports, --stats and the results window. Each request was judged as it
// was made (CRequestResult::bPass, by the run's CRunSettings); the run passes
// when every request passed, and it sent one at least when the script has a
// line that looks like a request but is none. Exit code: 3 when a request
// timed out, failed or was not sent, or no request was sent for that; else 5 when a slow response failed it (--fail-on-slow); else
// 6 when an error status did (--fail-on-status); else 7 when a check (an
// Expect or Capture line, on a request or a CheckAlive wait) or a requirement
// of the run failed; else 0.
struct CRunVerdictSummary {
    static constexpr int kFirstKept = 5;

    bool bPass = true;
    int nExitCode = 0;
    std::uint64_t nRequests = 0;
    std::uint64_t nFailed = 0;       // requests that failed the run
    std::uint64_t nUnanswered = 0;   // of them: timed out, failed, not sent
    std::uint64_t nSlow = 0;         // of them: slow (with the rule on)
    std::uint64_t nErrorStatus = 0;  // of them: status 400 or above (with the rule on)
    std::uint64_t nCheckFailed = 0;  // requests and CheckAlive waits whose checks failed
    QStringList requirementsFailed;  // one reason per requirement that does not hold
    // No request was sent, and these lines of the script (from 1) look like
    // requests but are none: the run fails with exit code 3.
    std::vector<int> vecNotRequestLines;
    std::vector<CFailedRequest> vecFirst;  // the first kFirstKept of them

    // "pass" or "fail".
    const char* Name() const { return bPass ? "pass" : "fail"; }
    // One line for people: "3 of 120 requests failed (2 unanswered, 1 slow); first: ...".
    QString Describe() const;
    // Describe() without the failing requests named: "3 of 120 requests
    // failed (2 unanswered, 1 slow)", and the requirements that failed.
    QString Headline() const;

private:
    QString Text(bool bFirst) const;
};

// Collects the verdict from a run's results: a listener on the run.
// OnRunStart forgets the previous run. Thread-safe.
class CRunVerdict : public IRunListener {
public:
    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;
    void OnRunEnd(const CRunEndInfo& info) override;

    CRunVerdictSummary Summary() const;
    // Trades everything with other (a verdict judged on another thread).
    void Swap(CRunVerdict& other);

private:
    mutable std::mutex m_mutex;
    CRunVerdictSummary m_summary;
    bool m_bFailOnSlow = false;
    bool m_bFailOnStatus = false;
    std::vector<CRequirement> m_vecRequirements;
    std::vector<int> m_vecNotRequestLines;
    std::unique_ptr<CRunStatistics> m_pStatistics;  // for the requirements, when there are any
};

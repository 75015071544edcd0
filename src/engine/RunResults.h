#pragma once

#include <QDateTime>
#include <QString>

#include "script/CheckLines.h"

#include <cstdint>
#include <vector>

// The results of a run, beside its log: one record per request as the
// execution loop writes that request's lines, one per CheckAlive wait, and
// the run's start and end. Listeners get them on the worker thread, in order; a listener must
// return quickly (the window's batches them onto its own thread).

enum class ERequestOutcome { Ok, Slow, Timeout, Failed, NotSent };

// "ok", "slow", "timeout", "failed", "not-sent".
const char* OutcomeName(ERequestOutcome outcome);

struct CRequestResult {
    int nIndex = 0;             // 1, 2, ... in the order the requests were made
    int nPass = 0;              // While pass in progress, counted from 1; 0 outside a block
    int nLine = 0;              // the command's line in the script, counted from 1
    QString strScheme;          // "http" or "https"
    QString strHost;            // as typed
    QString strPort;            // as typed, or the scheme's default
    QString strTarget;          // the request target, as typed
    QString strUrl;             // as the send line shows it: scheme://host:port/target
    int nStatus = -1;           // HTTP status of the final response; -1 when none came
    std::int64_t nTimeMs = 0;   // the response time as logged (0 when not sent)
    std::int64_t nTimeUs = 0;   // the same time in microseconds, from the same clock readings
    std::int64_t nAtMs = 0;     // when the request started, in ms since the run started
    ERequestOutcome outcome = ERequestOutcome::Ok;
    bool bPass = true;          // the request's verdict under the run's rules (CRunSettings)
    QString strReason;          // why it failed, as its "[HTTP]", "[TLS]" or "[AUTH]" line says, or its
                                // first failing check ("[CHECK]"); else empty
    int nChecks = 0;            // Expect and Capture lines judged on the answer
    int nChecksFailed = 0;      // of them, the failing ones: the request fails (strReason: the first)
};

// One CheckAlive wait: from its first connection attempt to the connection
// the device accepted, or to the Stop (or run limit) that ended it first. A
// wait cut short by closing gives none.
struct CCheckAliveResult {
    int nIndex = 0;             // 1, 2, ... in the order of the waits
    int nPass = 0;              // While pass in progress, counted from 1; 0 outside a block
    int nLine = 0;              // the CheckAlive's line in the script, counted from 1
    QString strHost;            // as typed
    QString strPort;            // as typed
    std::int64_t nAtMs = 0;     // when the wait started, in ms since the run started
    std::int64_t nDownMs = 0;   // from the first attempt to the accepted connection (or the stop)
    int nAttempts = 0;          // connection attempts, the accepted one included
    bool bStopped = false;      // ended before the device came back
    int nChecks = 0;            // downtime checks judged
    int nChecksFailed = 0;      // of them, the failing ones
    QString strReason;          // the first failing check's reason; else empty
    std::int64_t nDownUs = 0;   // nDownMs in microseconds, from the same clock readings; -1: not known
};

struct CRunStartInfo {
    QString strScript;          // the command file's name, or empty for a typed script
    QDateTime startedAt;        // local time with its offset
    int nThresholdMs = 0;
    bool bFailOnSlow = false;   // the verdict's rules (CRunSettings)
    bool bFailOnStatus = false;
    QString strMaxDuration;     // the run limits (CRunSettings): the duration as typed, empty: none
    int nMaxPasses = 0;         // 0: no limit
    // The run's requirements (the script's Require lines, then --require),
    // judged by the verdict at the run's end.
    std::vector<CRequirement> vecRequirements;
    // The script's lines that look like a request but are no HTTP command
    // (from 1): a run that sends no request at all then fails.
    std::vector<int> vecNotRequestLines;
    // The line (from 1) of the script's last step, so that a window can plan
    // for the script's lines from the start; 0: not known.
    int nLastStepLine = 0;
};

struct CRunEndInfo {
    std::int64_t nHttpMs = 0;         // the HTTP total as logged
    std::int64_t nApplicationMs = 0;  // the application total as logged
    int nWhileRepeat = -1;            // passes, as the While Repeat line; -1 without While
    bool bStopped = false;            // a While block was ended by Stop
    bool bComplete = true;            // false when the run was cut short (closing, SIGTERM)
};

class IRunListener {
public:
    virtual ~IRunListener() = default;
    virtual void OnRunStart(const CRunStartInfo& /*info*/) {}
    virtual void OnRequest(const CRequestResult& result) = 0;
    virtual void OnCheckAlive(const CCheckAliveResult& /*result*/) {}
    virtual void OnRunEnd(const CRunEndInfo& /*info*/) {}
};

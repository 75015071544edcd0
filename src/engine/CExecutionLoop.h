#pragma once

#include "ResponseChecks.h"
#include "ResultsHandOff.h"
#include "RunResults.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

struct CCommandItem;
struct CRunContext;
struct CServerItem;

// The worker's part of a run: the connection pass over the servers, then the
// script itself with its timing, blocks, sleeps and liveness waits. The texts
// of its log lines are in RunLogTexts.h; the controls come back after the run
// in CRunEngine (RunControlPolicy.h).
class CExecutionLoop {
public:
    explicit CExecutionLoop(CRunContext& context);

    // Gives every server its connection object and tries one connection to
    // each. 0 when the script has no server (nothing is executed), else 1.
    int ConnectServers();
    // Executes the command list and writes the totals.
    void RunCommands();
    // A script without a server sends nothing and logs no totals; its
    // results still tell the listeners of a whole, empty run.
    void ReportEmptyRun();

private:
    bool Aborted() const;
    CServerItem* FindServer(bool bHttps, const QString& strIP, const QString& strPort) const;
    // Returns true when an HTTP request went out for the record.
    bool SendCommand(CServerItem& server, const CCommandItem& item);
    // The command list from the opening line on; false when the run was
    // aborted on the way.
    bool ExecuteCommands();
    // The end of the run's results, with the figures of its last lines.
    void EndResults(std::int64_t nApplicationMs, bool bComplete);
    std::int64_t ApplicationTotalMs() const;
    // After a failed connect to an https server: the TLS line, if TLS failed
    // (once a run for the same problem). True when TLS failed.
    bool WriteTlsProblem(CServerItem& server);
    void WaitUntilAlive(const CCommandItem& item);
    // Whether a run limit (CRunSettings) has been reached; the first time,
    // its [LIMIT] line. bPassDone: at an End, with m_nPass counting that pass.
    bool LimitReached(bool bPassDone);
    // ms until the duration limit; -1 without one.
    std::int64_t MsUntilDurationLimit() const;

    CRunContext& m_context;
    std::int64_t m_nHttpTotalMs = 0;
    bool m_bFirstRequest = true;
    std::int64_t m_nRunStartMs = 0;  // the first request's start: the application total's
    // Where the command list is.
    int m_nPass = 0;
    bool m_bInBlock = false;
    bool m_bStopped = false;
    std::int64_t m_nOpenedMs = 0;  // the opening line: the duration limit counts from here
    bool m_bLimitReached = false;
    // The run's results beside its log (see RunResults.h).
    CResultsHandOff m_results;
    // The answer of a request with checks: room for its head and the part
    // of its body the checks read, made at the first such request.
    QByteArray m_checkedResponse;
    // The checks' text buffers and the target and URL as sent with captured
    // values: filled anew for each request, their room kept for the run.
    ResponseChecks::CScratch m_checkScratch;
    QString m_sentTarget;
    QString m_sentUrl;
};

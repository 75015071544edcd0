#pragma once

#include "RunResults.h"

#include <QString>

#include <cstdint>

struct CCommandItem;
struct CRunContext;
struct CServerItem;

// The worker's part of a run: the connection pass over the servers, then the
// script itself with its timing, blocks, sleeps and liveness waits.
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

    // The fixed lines of the run.
    static QString OpeningLine();
    static QString ResponseTimeLine(std::int64_t nResponseMs, int nResponseLimitMs);
    // bCut: the response filled the buffer and may end inside a character.
    static QString ResponseDataLine(const QByteArray& response, bool bCut = false);
    static QString WhileCountLine(int nPass);
    static QString HttpTotalLine(std::int64_t nTotalMs);
    static QString ApplicationTotalLine(std::int64_t nTotalMs);
    static QString WhileRepeatLine(int nPasses, bool bStopped);
    // "[TLS] host:port - reason", with how to accept a refused certificate.
    static QString TlsProblemLine(const QString& strTarget, const QString& strProblem, bool bCertificateRefused);
    static QString InsecureLine();
    // "[HTTP] host:port - reason" of a command that got no whole response.
    static QString HttpProblemLine(const QString& strTarget, const QString& strProblem);

private:
    bool Aborted() const;
    CServerItem* FindServer(bool bHttps, const QString& strIP, const QString& strPort) const;
    // Returns true when an HTTP request went out for the record.
    bool SendCommand(CServerItem& server, const CCommandItem& item);
    // The command list from the opening line on; false when the run was
    // aborted on the way.
    bool ExecuteCommands();
    // The run's results beside its log, handed to the context's listeners.
    void StartResults();
    void AddResult(CRequestResult& result);
    void EndResults(std::int64_t nApplicationMs, bool bComplete);
    std::int64_t ApplicationTotalMs() const;
    // After a failed connect to an https server: the TLS line, if TLS failed
    // (once a run for the same problem). True when TLS failed.
    bool WriteTlsProblem(CServerItem& server);
    void WaitUntilAlive(const QString& strIP, const QString& strPort);
    void FinishRun();

    CRunContext& m_context;
    std::int64_t m_nHttpTotalMs = 0;
    bool m_bFirstRequest = true;
    std::int64_t m_nRunStartMs = 0;  // the first request's start: the application total's
    // Where the command list is.
    int m_nPass = 0;
    bool m_bInBlock = false;
    bool m_bStopped = false;
    // The results: how many so far, and when the opening line was written.
    int m_nResults = 0;
    std::int64_t m_nOpenedMs = 0;
};

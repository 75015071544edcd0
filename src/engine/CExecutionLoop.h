#pragma once

#include <QString>

#include <cstdint>

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

private:
    bool Aborted() const;
    CServerItem* FindServer(bool bHttps, const QString& strIP, const QString& strPort) const;
    // Returns true when an HTTP request went out for the record.
    bool SendCommand(CServerItem& server, const QString& strIP, const QString& strPort, const QString& strUri);
    // After a failed connect to an https server: the TLS line, if TLS failed.
    void WriteTlsProblem(const CServerItem& server);
    void WaitUntilAlive(const QString& strIP, const QString& strPort);
    void FinishRun();

    CRunContext& m_context;
    std::int64_t m_nHttpTotalMs = 0;
    bool m_bFirstRequest = true;
    std::int64_t m_nRunStartMs = 0;
};

#include "CExecutionLoop.h"

#include "CRunContext.h"
#include "CRunEngine.h"
#include "RunLogTexts.h"
#include "StepChecks.h"
#include "http/CHTTPLayer.h"
#include "log/CLogWriter.h"
#include "platform/MonotonicClock.h"
#include "platform/TextConv.h"
#include "script/SplitCommandUrl.h"

#include <algorithm>
#include <memory>

namespace {

constexpr int kCheckAliveIntervalMs = 1000;
constexpr int kEndStopCheckMs = 10;

}  // namespace

using namespace RunLog;

CExecutionLoop::CExecutionLoop(CRunContext& context) : m_context(context), m_results(context) {}

bool CExecutionLoop::Aborted() const { return m_context.m_hAbortEvent.IsSet(); }

int CExecutionLoop::ConnectServers()
{
    CLogWriter& log = m_context.m_log;
    auto& servers = m_context.m_script.m_vecServers;
    const int nCount = int(servers.size());
    if (nCount == 0) {
        log.WriteLog(NoServerLine());
        return 0;
    }
    log.WriteLog(ConnectEachLine());
    log.WriteLog(TryConnectCountLine(nCount));

    for (const auto& server : servers) {
        if (Aborted())
            break;
        // No connection object, and so no connection, for a server without
        // host, without port or with a port that is no port (0, 65536,
        // "8080abc"): its commands are reported as not sent.
        if (server->m_strIP.isEmpty() || PortNumber(server->m_strPort) == 0)
            continue;
        const QString strTarget = server->m_strIP + QLatin1Char(':') + server->m_strPort;
        log.WriteLog(TryConnectLine(strTarget));
        server->m_pHttp = new CHTTPLayer();
        server->m_pHttp->SetHost(server->m_strIP);
        if (server->m_bHttps)
            server->m_pHttp->SetTls(true, m_context.m_tlsOptions);
        if (server->m_pHttp->Connect(PortNumber(server->m_strPort)) == 0) {
            server->m_bUnreachable = 0;
            log.WriteLog(ConnectedLine(strTarget));
        } else {
            server->m_bUnreachable = 1;
            log.WriteLog(UnreachableLine(strTarget));
            WriteTlsProblem(*server);
        }
    }
    return 1;
}

bool CExecutionLoop::WriteTlsProblem(CServerItem& server)
{
    // A connect that failed before the handshake leaves no TLS problem. The
    // same problem of a server is logged once a run.
    if (!server.m_bHttps || server.m_pHttp == nullptr || server.m_pHttp->TlsProblem().isEmpty())
        return false;
    const QString strProblem = server.m_pHttp->TlsProblem();
    if (strProblem != server.m_strTlsLogged) {
        server.m_strTlsLogged = strProblem;
        m_context.m_log.WriteLog(TlsProblemLine(server.m_strIP + QLatin1Char(':') + server.m_strPort, strProblem,
                                                server.m_pHttp->TlsCertificateRefused()));
    }
    return true;
}

CServerItem* CExecutionLoop::FindServer(bool bHttps, const QString& strIP, const QString& strPort) const
{
    for (const auto& server : m_context.m_script.m_vecServers) {
        if (server->m_bHttps == bHttps && server->m_strIP == strIP && server->m_strPort == strPort)
            return server.get();
    }
    return nullptr;
}

void CExecutionLoop::WaitUntilAlive(const CCommandItem& item)
{
    CLogWriter& log = m_context.m_log;
    const QString& strIP = item.m_checkAlive.m_strIP;
    const QString& strPort = item.m_checkAlive.m_strPort;
    CCheckAliveResult result;
    result.nPass = m_bInBlock ? m_nPass + 1 : 0;
    result.nLine = item.m_nLine;
    result.strHost = strIP;
    result.strPort = strPort;
    const std::int64_t nFirstUs = MonotonicUs();
    const std::int64_t nFirstMs = MsOfMonotonicUs(nFirstUs);
    result.nAtMs = m_results.SinceStartMs(nFirstMs);
    // The wait's result goes out before its last line, as a request's does.
    auto finish = [&](bool bStopped) {
        m_context.m_bCheckAliveWaiting = false;
        const std::int64_t nLastUs = MonotonicUs();
        result.nDownMs = MsOfMonotonicUs(nLastUs) - nFirstMs;
        result.nDownUs = nLastUs - nFirstUs;
        result.bStopped = bStopped;
        StepChecks::COutcome checks;
        if (item.m_pChecks)
            checks = StepChecks::JudgeWait(*item.m_pChecks, result.nDownMs, bStopped);
        result.nChecks = checks.nJudged;
        result.nChecksFailed = int(checks.failures.size());
        if (!checks.failures.isEmpty())
            result.strReason = checks.failures.front();
        if (m_results.Wanted())
            m_results.AddCheckAlive(result);
        log.WriteLog(bStopped ? CheckAliveStoppedLine(strIP) : ReconnectedLine(strIP));
        for (qsizetype i = 0; i < checks.failures.size(); ++i)
            log.WriteLog(StepChecks::CheckLine(strIP + QLatin1Char(':') + strPort, checks.lines[i], checks.failures[i]));
    };
    m_context.m_bCheckAliveWaiting = true;
    auto http = std::make_unique<CHTTPLayer>();
    http->SetHost(strIP);
    // The parser keeps no CheckAlive whose port is not 1 to 65535.
    const int nPort = PortNumber(strPort.trimmed());
    while (m_context.m_bCheckAliveWaiting) {
        log.WriteLog(CheckAliveUnreachableLine(strIP));
        const std::int64_t nAttemptMs = MonotonicMs();
        ++result.nAttempts;
        if (http->Connect(nPort) == 0) {
            http->Close();
            http.reset();
            finish(false);
            return;
        }
        // At most one attempt a second. "Stop" or closing ends the wait; the
        // wait uses the stop request up, so it does not also end a block.
        // The duration limit ends it as a Stop does (and the block too).
        std::int64_t nPauseMs = kCheckAliveIntervalMs - (MonotonicMs() - nAttemptMs);
        const std::int64_t nLimitMs = MsUntilDurationLimit();
        if (nLimitMs >= 0)
            nPauseMs = std::min(nPauseMs, nLimitMs);
        if (CManualResetEvent::WaitAny({&m_context.m_hStopEvent, &m_context.m_hAbortEvent}, int(nPauseMs)) >= 0) {
            m_context.m_bCheckAliveWaiting = false;
            if (Aborted())
                return;  // cut off by closing: no result
            m_context.m_hStopEvent.Reset();
            finish(true);
        } else if (MsUntilDurationLimit() == 0) {
            LimitReached(false);
            finish(true);
        }
    }
}

std::int64_t CExecutionLoop::MsUntilDurationLimit() const
{
    const std::int64_t nMaxMs = m_context.m_settings.nMaxDurationMs;
    if (nMaxMs <= 0)
        return -1;
    return std::max<std::int64_t>(0, nMaxMs - (MonotonicMs() - m_nOpenedMs));
}

bool CExecutionLoop::LimitReached(bool bPassDone)
{
    if (m_bLimitReached)
        return true;
    const CRunSettings& settings = m_context.m_settings;
    if (bPassDone && settings.nMaxPasses > 0 && m_nPass >= settings.nMaxPasses)
        m_context.m_log.WriteLog(PassLimitLine(settings.nMaxPasses));
    else if (MsUntilDurationLimit() == 0)
        m_context.m_log.WriteLog(DurationLimitLine(settings.strMaxDuration));
    else
        return false;
    m_bLimitReached = true;
    return true;
}

void CExecutionLoop::RunCommands()
{
    CLogWriter& log = m_context.m_log;
    CScript& script = m_context.m_script;
    if (script.m_vecServers.empty())
        return;
    log.WriteLog(OpeningLine());
    if (m_context.m_tlsOptions.bInsecure)
        log.WriteLog(InsecureLine());
    m_results.Start();

    m_nPass = 0;
    m_bInBlock = false;
    m_bStopped = false;
    m_nOpenedMs = MonotonicMs();
    m_bLimitReached = false;
    m_nHttpTotalMs = 0;
    m_bFirstRequest = true;
    m_nRunStartMs = 0;
    m_context.m_captures.clear();
    if (!ExecuteCommands()) {
        // Cut short by closing: no totals in the log, but the results end.
        EndResults(ApplicationTotalMs(), false);
        return;
    }

    log.WriteLog(HttpTotalLine(m_nHttpTotalMs));
    const std::int64_t nApplicationMs = ApplicationTotalMs();
    log.WriteLog(ApplicationTotalLine(nApplicationMs));
    if (script.m_nWhileRepeatCount != -1)
        log.WriteLog(WhileRepeatLine(m_nPass, m_bStopped));
    EndResults(nApplicationMs, true);
}

std::int64_t CExecutionLoop::ApplicationTotalMs() const
{
    // A run that sent no request has no start time: its total is 0.
    return m_bFirstRequest ? 0 : MonotonicMs() - m_nRunStartMs;
}

bool CExecutionLoop::ExecuteCommands()
{
    CLogWriter& log = m_context.m_log;
    CScript& script = m_context.m_script;
    int nStep = 0;
    const int nCommands = int(script.m_vecCommands.size());
    for (int nPos = 0; nPos < nCommands; ++nPos) {
        if (Aborted())
            return false;
        const CCommandItem item = script.m_vecCommands[nPos];

        bool bSent = false;
        if (CServerItem* server = FindServer(item.m_bHttps, item.m_strIP, item.m_strPort)) {
            bSent = SendCommand(*server, item);
            if (Aborted())
                return false;
        }

        if (item.m_nSleepTime != 0) {
            log.WriteLog(SleepStartLine(item.m_nSleepTime));
            if (m_context.m_hAbortEvent.Wait(item.m_nSleepTime))
                return false;
        } else if (item.m_bWhile) {
            m_bInBlock = true;
        } else if (item.m_bEnd) {
            const int nSignalled =
                CManualResetEvent::WaitAny({&m_context.m_hStopEvent, &m_context.m_hAbortEvent}, kEndStopCheckMs);
            if (nSignalled == 1)
                return false;
            if (nSignalled == 0) {
                // The stop ends this block alone: the next block counts its
                // own steps from its While on.
                m_context.m_hStopEvent.Reset();
                m_bInBlock = false;
                m_bStopped = true;
                nStep = 0;
                continue;
            }
            ++m_nPass;
            if (m_nPass >= script.m_nWhileRepeatCount && script.m_nWhileRepeatCount != 0) {
                m_bInBlock = false;
                nStep = 0;
            } else if (LimitReached(true)) {
                // A run limit ends the block as a stop does; the pass that
                // reached it counts.
                m_bInBlock = false;
                m_bStopped = true;
                nStep = 0;
            } else if (nStep != 0) {
                nPos -= nStep + 1;
                nStep = 0;
            }
        } else if (item.m_checkAlive.m_bCheckAlive) {
            WaitUntilAlive(item);
            if (Aborted())
                return false;
        }

        if (m_bInBlock && !item.m_bWhile && !item.m_bEnd) {
            ++nStep;
            if (bSent)
                log.WriteLog(WhileCountLine(m_nPass + 1));
        }
    }
    return true;
}

void CExecutionLoop::ReportEmptyRun()
{
    m_results.Start();
    EndResults(0, true);
}

void CExecutionLoop::EndResults(std::int64_t nApplicationMs, bool bComplete)
{
    if (!m_results.Wanted())
        return;
    CRunEndInfo info;
    info.nHttpMs = m_nHttpTotalMs;
    info.nApplicationMs = nApplicationMs;
    info.nWhileRepeat = m_context.m_script.m_nWhileRepeatCount != -1 ? m_nPass : -1;
    info.bStopped = m_bStopped;
    info.bComplete = bComplete;
    m_results.End(info);
}

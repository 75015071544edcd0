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

constexpr int kResponseCapacity = 2048;
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

bool CExecutionLoop::SendCommand(CServerItem& server, const CCommandItem& item)
{
    CLogWriter& log = m_context.m_log;
    const QString& strIP = item.m_strIP;
    const QString& strPort = item.m_strPort;
    const QString& strUri = item.m_strUri;
    // A password written into the URL is shown as "***", here and so in
    // every report.
    const QString strUrl = ShownCommandUrl(item);
    const bool bResults = m_results.Wanted();
    CRequestResult result;
    if (bResults) {
        result.nPass = m_bInBlock ? m_nPass + 1 : 0;
        result.nLine = item.m_nLine;
        result.strScheme = server.m_bHttps ? QStringLiteral("https") : QStringLiteral("http");
        result.strHost = strIP;
        result.strPort = strPort;
        result.strTarget = strUri;
        result.strUrl = strUrl;
    }
    if (server.m_pHttp == nullptr) {
        // A server without host or port text, or with a port that is no
        // port, has no connection object.
        const QString strReason =
            strIP.isEmpty() || strPort.isEmpty() ? NoHostOrPortReason() : BadPortReason();
        log.WriteLog(NotSentLine(strUrl, strReason));
        ++m_context.m_nRequestsFailed;
        if (bResults) {
            result.nAtMs = m_results.SinceStartMs(MonotonicMs());
            result.outcome = ERequestOutcome::NotSent;
            result.strReason = strReason;
            m_results.Add(result);
        }
        return false;
    }

    // Captured values go into the target as it is sent; the results keep
    // the target as written.
    QStringList missingCaptures;
    const QString& strSentUri = StepChecks::TargetWithCaptures(strUri, m_context.m_script.m_captureNames,
                                                                  m_context.m_captures, m_sentTarget, missingCaptures);
    const bool bSubstituted = &strSentUri != &strUri;
    if (bSubstituted) {
        m_sentUrl.resize(0);
        m_sentUrl.append(QStringView(strUrl).first(strUrl.size() - strUri.size()));
        m_sentUrl.append(strSentUri);
    }
    const QString& strSentUrl = bSubstituted ? m_sentUrl : strUrl;
    if (!missingCaptures.isEmpty()) {
        const QString strWhy = StepChecks::NoCaptureReason(missingCaptures);
        log.WriteLog(StepChecks::CheckLine(strIP + QLatin1Char(':') + strPort, item.m_nLine, strWhy + QStringLiteral(": not sent")));
        ++m_context.m_nRequestsFailed;
        if (bResults) {
            result.nAtMs = m_results.SinceStartMs(MonotonicMs());
            result.outcome = ERequestOutcome::NotSent;
            result.strReason = strWhy;
            m_results.Add(result);
        }
        return false;
    }
    const QByteArray path = WideToRequestTarget(strSentUri);
    log.WriteLog(SendLine(strSentUrl));

    // Credentials written into the URL are this command's own, as curl
    // takes them; otherwise the run's.
    QByteArray user = m_context.m_szId;
    QByteArray password = m_context.m_szPassword;
    bool bCredentialsUtf8 = m_context.m_bCredentialsUtf8;
    if (item.m_userInfo.bPresent) {
        const SUrlUserInfo& info = item.m_userInfo;
        bCredentialsUtf8 = NeedsUtf8(info.strUser) || NeedsUtf8(info.strPassword);
        user = CredentialBytes(info.strUser, CRunEngine::kCredentialBytes, bCredentialsUtf8);
        password = CredentialBytes(info.strPassword, CRunEngine::kCredentialBytes, bCredentialsUtf8);
    }

    // With checks the answer is kept for them (a buffer made once a run);
    // the log still shows what it always did.
    const CStepChecks* pChecks = item.m_pChecks.get();
    QByteArray plainResponse;
    QByteArray& response = pChecks != nullptr ? m_checkedResponse : plainResponse;
    if (pChecks != nullptr && m_checkedResponse.isEmpty())
        m_checkedResponse = QByteArray(StepChecks::ResponseCapacity(), '\0');
    else if (pChecks == nullptr)
        plainResponse = QByteArray(kResponseCapacity, '\0');
    int nLength = int(response.size());
    const int nCapacity = nLength;
    int nStatus = -1;
    // One reading at each end, in microseconds; the logged milliseconds are
    // the difference of the two readings' milliseconds, as they always were.
    const std::int64_t t0Us = MonotonicUs();
    const std::int64_t t0 = MsOfMonotonicUs(t0Us);
    if (m_bFirstRequest) {
        m_nRunStartMs = t0;
        m_bFirstRequest = false;
    }
    const HRESULT hr =
        server.m_pHttp->SendRequest(path, response.data(), nLength, nStatus, user, password, bCredentialsUtf8);
    const std::int64_t t1Us = MonotonicUs();
    const std::int64_t nResponseMs = MsOfMonotonicUs(t1Us) - t0;
    if (Aborted())
        return true;  // cut off by closing: no answer to report, and no result

    // The result goes out before the request's lines: whatever a listener
    // keeps of it (a JSON Lines file) is there once its lines are.
    if (bResults) {
        result.nTimeMs = nResponseMs;
        result.nTimeUs = t1Us - t0Us;
        result.nAtMs = m_results.SinceStartMs(t0);
        // The status of the last response whose status line was read; none
        // is made up.
        result.nStatus = nStatus;
        if (hr == S_OK) {
            result.outcome =
                nResponseMs >= m_context.m_nResponseLimitMs ? ERequestOutcome::Slow : ERequestOutcome::Ok;
        } else {
            result.outcome = hr == S_WAIT_TIMEOUT ? ERequestOutcome::Timeout : ERequestOutcome::Failed;
        }
        // What the request's [TLS], [HTTP] or [AUTH] line says.
        const CHTTPLayer& http = *server.m_pHttp;
        result.strReason = hr == S_OK ? http.AuthProblem()
            : !http.TlsProblem().isEmpty() ? http.TlsProblem()
            : !http.Failure().isEmpty()    ? http.Failure()
                                           : http.AuthProblem();
        if (result.strReason.isEmpty() && hr == S_WAIT_TIMEOUT)
            result.strReason = QStringLiteral("no response in the wait");
    }
    // An answer's checks: the first failing one is the request's reason.
    StepChecks::COutcome checks;
    if (pChecks != nullptr && hr == S_OK) {
        const ResponseChecks::CAnswer answer(nStatus, QByteArray::fromRawData(response.constData(), nLength),
                                             nLength < nCapacity - 1, nResponseMs, &m_checkScratch);
        checks = StepChecks::Judge(*pChecks, answer, m_context.m_captures);
        if (!checks.failures.isEmpty())
            ++m_context.m_nRequestsFailed;
    }
    if (bResults) {
        result.nChecks = checks.nJudged;
        result.nChecksFailed = int(checks.failures.size());
        if (!checks.failures.isEmpty())
            result.strReason = checks.failures.front();
        m_results.Add(result);
    }
    m_nHttpTotalMs += nResponseMs;
    log.WriteLog(ResponseTimeLine(nResponseMs, m_context.m_nResponseLimitMs));
    ++m_context.m_nRequestsSent;
    if (hr == S_OK) {
        // A response that filled the buffer may have been cut in a character.
        const QString strData = ResponseDataLine(
            QByteArray::fromRawData(response.constData(), std::min(nLength, kResponseCapacity - 1)),
            nLength >= kResponseCapacity - 1);
        if (!strData.isEmpty())
            log.WriteLog(strData);
    } else {
        ++m_context.m_nRequestsFailed;
        if (hr == S_WAIT_TIMEOUT)
            log.WriteLog(TimeoutDataLine());
        if (!WriteTlsProblem(server) && !server.m_pHttp->Failure().isEmpty())
            log.WriteLog(HttpProblemLine(server.m_strIP + QLatin1Char(':') + server.m_strPort,
                                         server.m_pHttp->Failure()));
    }
    if (!server.m_pHttp->AuthProblem().isEmpty())
        log.WriteLog(AuthProblemLine(server.m_strIP, server.m_strPort, server.m_pHttp->AuthProblem()));
    for (qsizetype i = 0; i < checks.failures.size(); ++i)
        log.WriteLog(StepChecks::CheckLine(strIP + QLatin1Char(':') + strPort, checks.lines[i], checks.failures[i]));
    return true;
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

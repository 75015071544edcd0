// The execution loop's request: one HTTP command sent and its answer logged,
// judged by its checks and handed on as a result.
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

namespace {

constexpr int kResponseCapacity = 2048;

}  // namespace

using namespace RunLog;

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
    // The end of an answer is when its last bytes reached the machine (the
    // kernel's receive time), not when this thread next got a core to read
    // them; anything else ends when SendRequest returns.
    const std::int64_t t0Us = MonotonicUs();
    const std::int64_t t0 = MsOfMonotonicUs(t0Us);
    if (m_bFirstRequest) {
        m_nRunStartMs = t0;
        m_bFirstRequest = false;
    }
    const HRESULT hr =
        server.m_pHttp->SendRequest(path, response.data(), nLength, nStatus, user, password, bCredentialsUtf8);
    const std::int64_t nReturnedUs = MonotonicUs();
    const std::int64_t nArrivalUs = hr == S_OK ? server.m_pHttp->AnswerArrivalUs() : -1;
    // A wall clock stepped between the arrival and the read cannot put the
    // end before the start or after now.
    const std::int64_t t1Us = nArrivalUs >= 0 ? std::clamp(nArrivalUs, t0Us, nReturnedUs) : nReturnedUs;
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

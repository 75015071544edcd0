#include "CRequestsReader.h"

#include <algorithm>

using namespace reportjson;

bool CRequestsReader::Read()
{
    const std::size_t nFirst = m_fields.run.vecRequests.size();
    m_nArrayAt = m_scan.Offset();
    const bool bRead = m_scan.Array([this, nFirst] {
        // A report's own run (never a fleet's device, whose estimate would
        // take in the devices after it) holds its requests where they stay:
        // room for as many as the rest of the text holds at the rate of the
        // first ones (room never written costs no memory), not grown by
        // copying.
        if (m_fields.pOnRequests && m_fields.run.vecRequests.size() == nFirst + kSizingRequests)
            Reserve(nFirst);
        if (!m_fields.strProblem.isEmpty())
            return m_scan.Skip();
        if (m_scan.Peek() != '{') {
            m_fields.strProblem = QStringLiteral("a request without a url or a known outcome");
            return m_scan.Skip();
        }
        return One();
    });
    if (m_fields.pOnRequests && *m_fields.pOnRequests)
        (*m_fields.pOnRequests)(m_fields.run, m_fields.run.vecRequests.size());
    return bRead;
}

bool CRequestsReader::One()
{
    CNumber index, pass, line, status, timeMs, timeUs, atMs;
    bool bOutcome = false, bUrl = false, bReason = false, bAt = false, bFail = false, bCheckFailed = false;
    m_outcome.clear();
    m_url.clear();
    m_host.clear();
    m_port.clear();
    m_reason.clear();
    const bool bRead = m_scan.Object([&](std::string_view key) {
        bool bIs = false;
        if (key == "outcome")
            return m_scan.Utf8(&m_outcome, &bOutcome);
        if (key == "url")
            return m_scan.Utf8(&m_url, &bUrl);
        if (key == "index")
            return index.Read(m_scan);
        if (key == "pass")
            return pass.Read(m_scan);
        if (key == "line")
            return line.Read(m_scan);
        if (key == "status")
            return status.Read(m_scan);
        if (key == "time_ms")
            return timeMs.Read(m_scan);
        if (key == "time_us")
            return timeUs.Read(m_scan);
        if (key == "at_ms") {
            bAt = true;
            return atMs.Read(m_scan);
        }
        if (key == "verdict") {
            if (!m_scan.Utf8(&m_verdict, &bIs))
                return false;
            bFail = bIs && m_verdict == "fail";
            return true;
        }
        if (key == "host") {
            if (!m_scan.Utf8(&m_host, &bIs))
                return false;
            if (!bIs)
                m_host.clear();
            return true;
        }
        if (key == "port")
            return ReadPort(m_scan, &m_port);
        if (key == "reason")
            return m_scan.Utf8(&m_reason, &bReason);
        if (key == "check_failed")
            return ReadFlag(m_scan, &bCheckFailed);
        return m_scan.Skip();
    });
    if (!bRead)
        return false;
    CRecordedRequest request;
    if (!bOutcome || !OutcomeOf(&request.outcome) || !bUrl) {
        m_fields.strProblem = QStringLiteral("a request without a url or a known outcome");
        return true;
    }
    CRecordedRun& run = m_fields.run;
    request.nIndex = index.Int();
    request.nPass = pass.Int();
    request.nLine = line.Int();
    request.nStatus = status.Int(-1);
    request.nTimeMs = timeMs.Integer(0);
    // Reports written before the microseconds were kept have none.
    request.nTimeUs = timeUs.Integer(-1);
    // Without at_ms (a run's own report) the requests follow one another.
    request.nAtMs = bAt ? atMs.Integer(0) : m_nSumMs;
    m_nSumMs = request.nAtMs + std::max<std::int64_t>(request.nTimeMs, 0);
    request.bPass = !bFail;
    request.nTarget = TargetOf();
    if (!bReason)
        m_reason.clear();
    if (bReason) {
        auto it = m_reasons.find(m_reason);
        if (it == m_reasons.end()) {
            it = m_reasons.emplace(m_reason, std::int32_t(run.vecReasons.size())).first;
            run.vecReasons.push_back(QString::fromStdString(m_reason));
        }
        request.nReason = it->second;
    }
    request.bCheckFailed = bCheckFailed;
    CRunVerdictSummary& verdict = run.verdict;
    ++verdict.nRequests;
    if (!request.bPass) {
        if (request.bCheckFailed) {
            ++verdict.nCheckFailed;
        } else if (request.outcome == ERequestOutcome::Slow) {
            ++verdict.nSlow;
            run.start.bFailOnSlow = true;
        } else if (request.outcome == ERequestOutcome::Ok) {
            ++verdict.nErrorStatus;
            run.start.bFailOnStatus = true;
        } else {
            ++verdict.nUnanswered;
        }
        if (verdict.vecFirst.size() < std::size_t(CRunVerdictSummary::kFirstKept))
            verdict.vecFirst.push_back({request.nIndex, request.nPass, request.nLine,
                                        run.vecTargets[request.nTarget].strUrl, request.nStatus, request.outcome,
                                        bReason ? run.vecReasons[std::size_t(request.nReason)] : QString(),
                                        request.bCheckFailed});
    }
    run.vecRequests.push_back(request);
    if (m_fields.pOnRequests && run.vecRequests.size() % kRequestsPerCall == 0 && *m_fields.pOnRequests)
        (*m_fields.pOnRequests)(run, run.vecRequests.size());
    return true;
}

void CRequestsReader::Reserve(std::size_t nFirst)
{
    const std::size_t nRead = m_scan.Offset() - m_nArrayAt;
    if (nRead == 0)
        return;
    const std::size_t nLeft = m_scan.Left();
    const double dPerRequest = double(nRead) / double(kSizingRequests);
    const auto nMore = std::size_t(double(nLeft) / dPerRequest * 1.05) + 1;
    std::vector<CRecordedRequest>& requests = m_fields.run.vecRequests;
    if (nMore < std::size_t(1) << 28)
        requests.reserve(nFirst + kSizingRequests + nMore);
}

bool CRequestsReader::OutcomeOf(ERequestOutcome* pOutcome) const
{
    for (const ERequestOutcome outcome : {ERequestOutcome::Ok, ERequestOutcome::Slow, ERequestOutcome::Timeout,
                                          ERequestOutcome::Failed, ERequestOutcome::NotSent})
        if (m_outcome == OutcomeName(outcome)) {
            *pOutcome = outcome;
            return true;
        }
    return false;
}

std::uint32_t CRequestsReader::TargetOf()
{
    m_key.assign(m_url).append(1, '\0').append(m_host).append(1, '\0').append(m_port);
    const auto it = m_targets.find(m_key);
    if (it != m_targets.end())
        return it->second;
    const auto nTarget = std::uint32_t(m_fields.run.vecTargets.size());
    m_targets.emplace(m_key, nTarget);
    CRecordedTarget target{QString::fromStdString(m_url), QString(), QString::fromStdString(m_host),
                           QString::fromStdString(m_port), QString()};
    const qsizetype nScheme = target.strUrl.indexOf(QLatin1String("://"));
    target.strScheme = nScheme > 0 ? target.strUrl.left(nScheme) : QString();
    const qsizetype nPath = nScheme > 0 ? target.strUrl.indexOf(QLatin1Char('/'), nScheme + 3) : -1;
    target.strTarget = nPath > 0 ? target.strUrl.mid(nPath) : QStringLiteral("/");
    m_fields.run.vecTargets.push_back(std::move(target));
    return nTarget;
}

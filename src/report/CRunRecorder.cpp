#include "CRunRecorder.h"

void CRunRecorder::OnRunStart(const CRunStartInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_run = CRecordedRun();
    m_hashTargets.clear();
    m_hashReasons.clear();
    m_run.bStarted = true;
    m_run.start = info;
}

void CRunRecorder::OnRequest(const CRequestResult& result)
{
    const QString strKey = result.strUrl + QChar(0) + result.strHost + QChar(0) + result.strPort;
    std::lock_guard lock(m_mutex);
    auto it = m_hashTargets.constFind(strKey);
    if (it == m_hashTargets.constEnd()) {
        it = m_hashTargets.insert(strKey, static_cast<std::uint32_t>(m_run.vecTargets.size()));
        m_run.vecTargets.push_back({result.strUrl, result.strScheme, result.strHost, result.strPort, result.strTarget});
    }
    std::int32_t nReason = -1;
    if (!result.strReason.isEmpty()) {
        auto reason = m_hashReasons.constFind(result.strReason);
        if (reason == m_hashReasons.constEnd()) {
            reason = m_hashReasons.insert(result.strReason, static_cast<std::int32_t>(m_run.vecReasons.size()));
            m_run.vecReasons.push_back(result.strReason);
        }
        nReason = *reason;
    }
    CRecordedRequest request = RecordOf(result);
    request.nTarget = *it;
    request.nReason = nReason;
    m_run.vecRequests.push_back(request);
}

void CRunRecorder::OnCheckAlive(const CCheckAliveResult& result)
{
    std::lock_guard lock(m_mutex);
    m_run.vecCheckAlives.push_back(result);
}

void CRunRecorder::OnRunEnd(const CRunEndInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_run.bEnded = true;
    m_run.end = info;
}

CRecordedRun CRunRecorder::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_run;
}

CRunStatisticsSnapshot StatisticsOf(const CRecordedRun& run)
{
    CRunStatistics statistics;
    CRequestResult result;
    for (const CRecordedRequest& request : run.vecRequests) {
        result.strUrl = run.vecTargets[request.nTarget].strUrl;
        result.nTimeMs = request.nTimeMs;
        result.nAtMs = request.nAtMs;
        result.outcome = request.outcome;
        statistics.Add(result);
    }
    return statistics.Snapshot();
}

CRecordedRequest RecordOf(const CRequestResult& result)
{
    CRecordedRequest request;
    request.nIndex = result.nIndex;
    request.nPass = result.nPass;
    request.nLine = result.nLine;
    request.nStatus = result.nStatus;
    request.nTimeMs = result.nTimeMs;
    request.nTimeUs = result.nTimeUs;
    request.nAtMs = result.nAtMs;
    request.outcome = result.outcome;
    request.bPass = result.bPass;
    request.bCheckFailed = result.nChecksFailed > 0;
    return request;
}

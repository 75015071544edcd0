#include "CResultsListener.h"

CResultsListener::CResultsListener(ISink& sink, QObject* pParent)
    : QObject(pParent),
      m_sink(sink),
      m_queue(*this, [this](std::deque<Entry>& entries) { CarryOut(entries); }, kMaxEntriesPerTurn)
{
}

void CResultsListener::OnRunStart(const CRunStartInfo& info)
{
    m_queue.Post([&](std::deque<Entry>& pending) {
        m_hashUrls.clear();
        pending.emplace_back(info);
    });
}

void CResultsListener::OnRequest(const CRequestResult& result)
{
    m_queue.Post([&](std::deque<Entry>& pending) {
        auto it = m_hashUrls.constFind(result.strUrl);
        if (it == m_hashUrls.constEnd()) {
            it = m_hashUrls.insert(result.strUrl, int(m_hashUrls.size()));
            pending.emplace_back(result.strUrl);
        }
        pending.emplace_back(MakePoint(result, *it));
    });
}

CResultsListener::SPoint CResultsListener::MakePoint(const CRequestResult& result, int nUrl)
{
    SPoint point;
    point.nAtMs = result.nAtMs;
    point.nTimeMs = result.nTimeMs;
    point.nIndex = result.nIndex;
    point.nPass = result.nPass;
    point.nUrl = nUrl;
    point.nLine = result.nLine;
    point.nStatus = std::int16_t(result.nStatus >= -1 && result.nStatus <= 9999 ? result.nStatus : -1);
    point.outcome = result.outcome;
    point.bPass = result.bPass;
    point.bCheckFailed = result.nChecksFailed > 0;
    return point;
}

void CResultsListener::FillResult(const SPoint& point, const QString& strUrl, CRequestResult& result)
{
    result.nIndex = point.nIndex;
    result.nPass = point.nPass;
    result.strUrl = strUrl;
    result.nStatus = point.nStatus;
    result.nTimeMs = point.nTimeMs;
    result.nAtMs = point.nAtMs;
    result.outcome = point.outcome;
    result.bPass = point.bPass;
    result.nChecksFailed = point.bCheckFailed ? 1 : 0;
}

void CResultsListener::OnCheckAlive(const CCheckAliveResult& result)
{
    m_queue.Post([&](std::deque<Entry>& pending) { pending.emplace_back(result); });
}

void CResultsListener::OnRunEnd(const CRunEndInfo& info)
{
    m_queue.Post([&](std::deque<Entry>& pending) { pending.emplace_back(info); });
}

void CResultsListener::Drain() { m_queue.Drain(); }

void CResultsListener::CarryOut(std::deque<Entry>& entries)
{
    // Runs of requests go to the sink as one batch.
    std::vector<SPoint> points;
    auto FlushPoints = [&] {
        if (!points.empty())
            m_sink.OnResults(points);
        points.clear();
    };
    for (Entry& entry : entries) {
        if (const SPoint* pPoint = std::get_if<SPoint>(&entry)) {
            points.push_back(*pPoint);
            continue;
        }
        FlushPoints();
        if (const QString* pUrl = std::get_if<QString>(&entry))
            m_sink.OnUrlSeen(*pUrl);
        else if (const CRunStartInfo* pStart = std::get_if<CRunStartInfo>(&entry))
            m_sink.OnRunStarted(*pStart);
        else if (const CCheckAliveResult* pWait = std::get_if<CCheckAliveResult>(&entry))
            m_sink.OnWait(*pWait);
        else
            m_sink.OnRunEnded(std::get<CRunEndInfo>(entry));
    }
    FlushPoints();
}

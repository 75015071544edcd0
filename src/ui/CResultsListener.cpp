#include "CResultsListener.h"

#include <QThread>

#include <limits>

CResultsListener::CResultsListener(ISink& sink, QObject* pParent) : QObject(pParent), m_sink(sink) {}

bool CResultsListener::OnOwnThread() const { return QThread::currentThread() == thread(); }

void CResultsListener::OnRunStart(const CRunStartInfo& info)
{
    std::unique_lock lock(m_mutex);
    m_hashUrls.clear();
    m_pending.emplace_back(info);
    Post(lock);
}

void CResultsListener::OnRequest(const CRequestResult& result)
{
    std::unique_lock lock(m_mutex);
    auto it = m_hashUrls.constFind(result.strUrl);
    if (it == m_hashUrls.constEnd()) {
        it = m_hashUrls.insert(result.strUrl, int(m_hashUrls.size()));
        m_pending.emplace_back(result.strUrl);
    }
    SPoint point;
    point.nAtMs = result.nAtMs;
    point.nTimeMs = result.nTimeMs;
    point.nIndex = result.nIndex;
    point.nPass = result.nPass;
    point.nUrl = *it;
    point.nStatus = std::int16_t(result.nStatus >= -1 && result.nStatus <= 9999 ? result.nStatus : -1);
    point.outcome = result.outcome;
    point.bPass = result.bPass;
    m_pending.emplace_back(point);
    Post(lock);
}

void CResultsListener::OnRunEnd(const CRunEndInfo& info)
{
    std::unique_lock lock(m_mutex);
    m_pending.emplace_back(info);
    Post(lock);
}

void CResultsListener::Post(std::unique_lock<std::mutex>& lock)
{
    if (OnOwnThread()) {
        lock.unlock();
        Drain();
        return;
    }
    if (!m_bDrainScheduled) {
        m_bDrainScheduled = true;
        Schedule();
    }
}

void CResultsListener::Schedule()
{
    QMetaObject::invokeMethod(
        this, [this] { DrainSome(kMaxEntriesPerTurn); }, Qt::QueuedConnection);
}

void CResultsListener::Drain() { DrainSome(std::numeric_limits<std::size_t>::max()); }

void CResultsListener::DrainSome(std::size_t nMaxEntries)
{
    std::deque<Entry> entries;
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.size() <= nMaxEntries) {
            entries.swap(m_pending);
            m_bDrainScheduled = false;
        } else {
            for (std::size_t i = 0; i < nMaxEntries; ++i) {
                entries.push_back(std::move(m_pending.front()));
                m_pending.pop_front();
            }
            // The flag stays set: the rest waits for the next turn.
            Schedule();
        }
    }
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
        else
            m_sink.OnRunEnded(std::get<CRunEndInfo>(entry));
    }
    FlushPoints();
}

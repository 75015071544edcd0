#include "CRunStatistics.h"

#include <algorithm>
#include <utility>

void CRunStatistics::CTimes::AddToTables(std::int64_t nMs, std::uint64_t nCount)
{
    if (nMs < kDenseLimitMs) {
        const auto nSlot = static_cast<std::size_t>(nMs);
        if (nSlot >= m_vecDense.size())
            m_vecDense.resize(nSlot + 1, 0);
        m_vecDense[nSlot] += nCount;
    } else {
        m_mapHigh[nMs] += nCount;
    }
}

void CRunStatistics::CTimes::Add(std::int64_t nMs)
{
    nMs = std::max<std::int64_t>(nMs, 0);
    if (m_bTables) {
        AddToTables(nMs, 1);
    } else {
        const auto it = std::lower_bound(m_vecFew.begin(), m_vecFew.end(), nMs,
                                         [](const auto& entry, std::int64_t nValue) { return entry.first < nValue; });
        if (it != m_vecFew.end() && it->first == nMs) {
            ++it->second;
        } else if (m_vecFew.size() < kFewTimes) {
            m_vecFew.insert(it, {nMs, 1});
        } else {
            // Too many values for the list: the tables from now on.
            m_bTables = true;
            for (const auto& [nValue, nCount] : m_vecFew)
                AddToTables(nValue, nCount);
            m_vecFew = {};
            AddToTables(nMs, 1);
        }
    }
    if (m_nTimed == 0 || nMs < m_nMin)
        m_nMin = nMs;
    if (m_nTimed == 0 || nMs > m_nMax)
        m_nMax = nMs;
    ++m_nTimed;
    m_nSum += nMs;
}

// The time at 1-based rank nRank among the sorted times.
std::int64_t CRunStatistics::CTimes::ValueAtRank(std::uint64_t nRank) const
{
    std::uint64_t nSeen = 0;
    for (const auto& [nMs, nCount] : m_vecFew) {
        nSeen += nCount;
        if (nSeen >= nRank)
            return nMs;
    }
    for (std::size_t nMs = static_cast<std::size_t>(m_nMin); nMs < m_vecDense.size(); ++nMs) {
        nSeen += m_vecDense[nMs];
        if (nSeen >= nRank)
            return static_cast<std::int64_t>(nMs);
    }
    for (const auto& [nMs, nCount] : m_mapHigh) {
        nSeen += nCount;
        if (nSeen >= nRank)
            return nMs;
    }
    return m_nMax;
}

void CRunStatistics::CTimes::Fill(CUrlStatistics& figures) const
{
    figures.nTimed = m_nTimed;
    if (m_nTimed == 0) {
        figures.nMinMs = figures.nMedianMs = figures.nP95Ms = figures.nP99Ms = figures.nMaxMs = -1;
        figures.dMeanMs = -1.0;
        return;
    }
    figures.nMinMs = m_nMin;
    figures.nMaxMs = m_nMax;
    figures.nMedianMs = ValueAtRank((m_nTimed + 1) / 2);
    figures.nP95Ms = ValueAtRank((95 * m_nTimed + 99) / 100);
    figures.nP99Ms = ValueAtRank((99 * m_nTimed + 99) / 100);
    figures.dMeanMs = static_cast<double>(m_nSum) / static_cast<double>(m_nTimed);
}

void CRunStatistics::AddTo(CEntry& entry, const CRequestResult& result)
{
    CUrlStatistics& c = entry.counts;
    ++c.nCount;
    switch (result.outcome) {
    case ERequestOutcome::Ok:
        ++c.nOk;
        break;
    case ERequestOutcome::Slow:
        ++c.nSlow;
        break;
    case ERequestOutcome::Timeout:
        ++c.nTimeout;
        break;
    case ERequestOutcome::Failed:
        ++c.nFailed;
        break;
    case ERequestOutcome::NotSent:
        ++c.nNotSent;
        break;
    }
    if (result.outcome == ERequestOutcome::Ok || result.outcome == ERequestOutcome::Slow) {
        entry.times.Add(result.nTimeMs);
        if (result.nChecksFailed > 0)
            ++c.nCheckFailed;
    }
    if (entry.nFirstAtMs < 0 || result.nAtMs < entry.nFirstAtMs)
        entry.nFirstAtMs = result.nAtMs;
    entry.nLastEndMs = std::max(entry.nLastEndMs, result.nAtMs + std::max<std::int64_t>(result.nTimeMs, 0));
    entry.bDirty = true;
}

const CUrlStatistics& CRunStatistics::Refresh(CEntry& entry)
{
    if (entry.bDirty) {
        CUrlStatistics& c = entry.counts;
        entry.times.Fill(c);
        const std::uint64_t nErrors = c.nTimeout + c.nFailed + c.nNotSent;
        c.dErrorPercent = c.nCount == 0 ? 0.0 : 100.0 * static_cast<double>(nErrors) / static_cast<double>(c.nCount);
        const std::int64_t nSpanMs = entry.nLastEndMs - entry.nFirstAtMs;
        c.dRequestsPerSecond =
            nSpanMs > 0 ? static_cast<double>(c.nCount) * 1000.0 / static_cast<double>(nSpanMs) : -1.0;
        entry.bDirty = false;
    }
    return entry.counts;
}

void CRunStatistics::OnRunStart(const CRunStartInfo& /*info*/)
{
    Clear();
}

void CRunStatistics::OnRequest(const CRequestResult& result)
{
    Add(result);
}

void CRunStatistics::OnCheckAlive(const CCheckAliveResult& result)
{
    std::lock_guard lock(m_mutex);
    m_vecCheckAlives.push_back(result);
    m_nRevision.fetch_add(1, std::memory_order_release);
}

void CRunStatistics::Clear()
{
    std::lock_guard lock(m_mutex);
    m_vecCheckAlives.clear();
    m_hashIndex.clear();
    m_entries.clear();
    m_nFirstChanged = m_nLastChanged = kNone;
    m_total = CEntry();
    m_nClearedAt = m_nRevision.fetch_add(1, std::memory_order_release) + 1;
}

void CRunStatistics::Add(const CRequestResult& result)
{
    std::lock_guard lock(m_mutex);
    auto it = m_hashIndex.constFind(result.strUrl);
    if (it == m_hashIndex.constEnd()) {
        it = m_hashIndex.insert(result.strUrl, m_entries.size());
        m_entries.emplace_back();
        m_entries.back().counts.strUrl = result.strUrl;
    }
    AddTo(m_entries[*it], result);
    AddTo(m_total, result);
    m_entries[*it].nChangedAt = m_nRevision.fetch_add(1, std::memory_order_release) + 1;
    MarkChanged(*it);
}

void CRunStatistics::MarkChanged(std::size_t nEntry)
{
    if (nEntry == m_nLastChanged)
        return;
    CEntry& entry = m_entries[nEntry];
    // Out of its place in the order, if it has one...
    if (entry.nChangedBefore != kNone)
        m_entries[entry.nChangedBefore].nChangedAfter = entry.nChangedAfter;
    else if (m_nFirstChanged == nEntry)
        m_nFirstChanged = entry.nChangedAfter;
    if (entry.nChangedAfter != kNone)
        m_entries[entry.nChangedAfter].nChangedBefore = entry.nChangedBefore;
    // ...and to its end.
    entry.nChangedBefore = m_nLastChanged;
    entry.nChangedAfter = kNone;
    if (m_nLastChanged != kNone)
        m_entries[m_nLastChanged].nChangedAfter = nEntry;
    m_nLastChanged = nEntry;
    if (m_nFirstChanged == kNone)
        m_nFirstChanged = nEntry;
}

CRunStatisticsSnapshot CRunStatistics::Snapshot() const
{
    std::lock_guard lock(m_mutex);
    CRunStatisticsSnapshot snapshot;
    snapshot.vecUrls.reserve(m_entries.size());
    for (CEntry& entry : m_entries)
        snapshot.vecUrls.push_back(Refresh(entry));
    snapshot.total = Refresh(m_total);
    snapshot.vecCheckAlives = CheckAliveStatistics(m_vecCheckAlives);
    snapshot.nRevision = m_nRevision.load(std::memory_order_relaxed);
    return snapshot;
}

bool CRunStatistics::Update(CRunStatisticsSnapshot& snapshot, std::size_t nMaxNew) const
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t nRevision = m_nRevision.load(std::memory_order_relaxed);
    // Taken before the last Clear (or of another object): taken anew.
    const bool bWhole = snapshot.nRevision < m_nClearedAt || snapshot.nRevision > nRevision ||
                        snapshot.vecUrls.size() > m_entries.size();
    if (bWhole)
        snapshot.vecUrls.clear();
    const std::size_t nHad = snapshot.vecUrls.size();
    const std::size_t nTo = m_entries.size() - nHad > nMaxNew ? nHad + nMaxNew : m_entries.size();
    snapshot.vecUrls.resize(nTo);
    for (std::size_t i = nHad; i < nTo; ++i)
        snapshot.vecUrls[i] = Refresh(m_entries[i]);
    // The URLs it had that changed since: the last ones in the order of
    // change, however many others there are.
    for (std::size_t i = m_nLastChanged; i != kNone && m_entries[i].nChangedAt > snapshot.nRevision;
         i = m_entries[i].nChangedBefore)
        if (i < nHad)
            snapshot.vecUrls[i] = Refresh(m_entries[i]);
    snapshot.total = Refresh(m_total);
    snapshot.vecCheckAlives = CheckAliveStatistics(m_vecCheckAlives);
    // The URLs not yet taken are new to the next call, read whole then.
    snapshot.nRevision = nRevision;
    return nTo == m_entries.size();
}

void CRunStatistics::Swap(CRunStatistics& other)
{
    if (&other == this)
        return;
    std::scoped_lock lock(m_mutex, other.m_mutex);
    m_hashIndex.swap(other.m_hashIndex);
    m_entries.swap(other.m_entries);
    std::swap(m_nFirstChanged, other.m_nFirstChanged);
    std::swap(m_nLastChanged, other.m_nLastChanged);
    std::swap(m_total, other.m_total);
    m_vecCheckAlives.swap(other.m_vecCheckAlives);
    const std::uint64_t nRevision = m_nRevision.load(std::memory_order_relaxed);
    m_nRevision.store(other.m_nRevision.load(std::memory_order_relaxed), std::memory_order_release);
    other.m_nRevision.store(nRevision, std::memory_order_release);
    std::swap(m_nClearedAt, other.m_nClearedAt);
}

CUrlStatistics CRunStatistics::Total() const
{
    std::lock_guard lock(m_mutex);
    return Refresh(m_total);
}

std::vector<CCheckAliveStatistics> CheckAliveStatistics(const std::vector<CCheckAliveResult>& vecWaits)
{
    std::vector<CCheckAliveStatistics> vecLines;
    std::vector<std::vector<std::int64_t>> vecDownMs;
    for (const CCheckAliveResult& wait : vecWaits) {
        auto it = std::find_if(vecLines.begin(), vecLines.end(), [&wait](const CCheckAliveStatistics& line) {
            return line.nLine == wait.nLine && line.strHost == wait.strHost && line.strPort == wait.strPort;
        });
        if (it == vecLines.end()) {
            vecLines.push_back({wait.nLine, wait.strHost, wait.strPort});
            vecDownMs.emplace_back();
            it = vecLines.end() - 1;
        }
        ++it->nWaits;
        if (wait.bStopped)
            ++it->nStopped;
        else
            vecDownMs[std::size_t(it - vecLines.begin())].push_back(wait.nDownMs);
    }
    for (std::size_t i = 0; i < vecLines.size(); ++i) {
        std::vector<std::int64_t>& times = vecDownMs[i];
        if (times.empty())
            continue;
        std::sort(times.begin(), times.end());
        vecLines[i].nMinMs = times.front();
        vecLines[i].nMedianMs = times[(times.size() + 1) / 2 - 1];
        vecLines[i].nMaxMs = times.back();
    }
    return vecLines;
}

#include "CResultsChartData.h"

#include <algorithm>

void CResultsChartData::Clear()
{
    m_vecUrls.clear();
    m_nWidthMs = 1;
    m_nCount = 0;
    m_nLastAtMs = 0;
    m_nMaxTimeMs = -1;
    m_mapTimes.clear();
    m_failures = {};
}

void CResultsChartData::AddUrl() { m_vecUrls.emplace_back(); }

void CResultsChartData::AddTo(SBucket& bucket, const SPoint& point)
{
    if (!IsResponse(point.outcome)) {
        if (!bucket.bFailure) {
            bucket.firstFailure = point;
            bucket.bFailure = true;
        }
        return;
    }
    if (point.bCheckFailed && !bucket.bCheck) {
        bucket.firstCheck = point;
        bucket.bCheck = true;
    }
    if (bucket.nResponses == 0 || point.nTimeMs < bucket.fastest.nTimeMs)
        bucket.fastest = point;
    if (bucket.nResponses == 0 || point.nTimeMs > bucket.slowest.nTimeMs)
        bucket.slowest = point;
    ++bucket.nResponses;
    if (point.outcome == ERequestOutcome::Slow && (!bucket.bSlow || point.nTimeMs > bucket.slowestSlow.nTimeMs)) {
        bucket.slowestSlow = point;
        bucket.bSlow = true;
    }
}

// Both buckets' requests in one; `from` is the later one.
void CResultsChartData::Merge(SBucket& into, const SBucket& from)
{
    if (from.nResponses > 0) {
        if (into.nResponses == 0 || from.fastest.nTimeMs < into.fastest.nTimeMs)
            into.fastest = from.fastest;
        if (into.nResponses == 0 || from.slowest.nTimeMs > into.slowest.nTimeMs)
            into.slowest = from.slowest;
        into.nResponses += from.nResponses;
    }
    if (from.bSlow && (!into.bSlow || from.slowestSlow.nTimeMs > into.slowestSlow.nTimeMs)) {
        into.slowestSlow = from.slowestSlow;
        into.bSlow = true;
    }
    if (from.bFailure && !into.bFailure) {
        into.firstFailure = from.firstFailure;
        into.bFailure = true;
    }
    if (from.bCheck && !into.bCheck) {
        into.firstCheck = from.firstCheck;
        into.bCheck = true;
    }
}

// Doubles the buckets' width: bucket i takes what buckets 2i and 2i+1 held.
void CResultsChartData::Widen()
{
    m_nWidthMs *= 2;
    for (Buckets& buckets : m_vecUrls) {
        Buckets merged((buckets.size() + 1) / 2);
        for (std::size_t i = 0; i < buckets.size(); ++i)
            Merge(merged[i / 2], buckets[i]);
        buckets.swap(merged);
    }
}

void CResultsChartData::Add(const SPoint& point, int nLine)
{
    if (nLine < 0 || nLine >= UrlCount())
        return;
    const std::int64_t nAtMs = std::max<std::int64_t>(point.nAtMs, 0);
    while (nAtMs / m_nWidthMs >= kBuckets)
        Widen();
    Buckets& buckets = m_vecUrls[std::size_t(nLine)];
    const auto nBucket = std::size_t(nAtMs / m_nWidthMs);
    if (nBucket >= buckets.size())
        buckets.resize(nBucket + 1);
    AddTo(buckets[nBucket], point);

    ++m_nCount;
    m_nLastAtMs = std::max(m_nLastAtMs, nAtMs);
    if (IsResponse(point.outcome)) {
        m_nMaxTimeMs = std::max(m_nMaxTimeMs, point.nTimeMs);
        ++m_mapTimes[std::max<std::int64_t>(point.nTimeMs, 0)][point.outcome == ERequestOutcome::Slow ? 1 : 0];
    } else {
        ++m_failures[point.outcome == ERequestOutcome::Timeout ? 0 : point.outcome == ERequestOutcome::Failed ? 1 : 2];
    }
}

std::vector<CResultsChartData::SPoint> CResultsChartData::Line(int nUrl) const
{
    std::vector<SPoint> line;
    if (nUrl < 0 || nUrl >= UrlCount())
        return line;
    for (const SBucket& bucket : m_vecUrls[std::size_t(nUrl)]) {
        if (bucket.nResponses == 0)
            continue;
        const SPoint& first = bucket.fastest.nIndex <= bucket.slowest.nIndex ? bucket.fastest : bucket.slowest;
        const SPoint& second = bucket.fastest.nIndex <= bucket.slowest.nIndex ? bucket.slowest : bucket.fastest;
        line.push_back(first);
        if (second.nIndex != first.nIndex)
            line.push_back(second);
    }
    return line;
}

void CResultsChartData::Marks(std::vector<SPoint>& vecSlow, std::vector<SPoint>& vecFailed,
                              std::vector<SPoint>& vecChecks) const
{
    vecSlow.clear();
    vecFailed.clear();
    vecChecks.clear();
    for (const Buckets& buckets : m_vecUrls) {
        for (const SBucket& bucket : buckets) {
            if (bucket.bSlow) {
                vecSlow.push_back(bucket.slowestSlow);
                // The fastest request of the bucket may be slow too.
                if (bucket.fastest.outcome == ERequestOutcome::Slow &&
                    bucket.fastest.nIndex != bucket.slowestSlow.nIndex)
                    vecSlow.push_back(bucket.fastest);
            }
            if (bucket.bFailure)
                vecFailed.push_back(bucket.firstFailure);
            if (bucket.bCheck)
                vecChecks.push_back(bucket.firstCheck);
        }
    }
}

CResultsChartData::SHistogram CResultsChartData::Histogram(int nMaxBins, std::int64_t nAlsoFirstMs,
                                                           std::int64_t nAlsoLastMs) const
{
    SHistogram histogram;
    histogram.failures = m_failures;
    if (m_mapTimes.empty() || nMaxBins < 1)
        return histogram;
    std::int64_t nMin = m_mapTimes.begin()->first;
    std::int64_t nMax = m_mapTimes.rbegin()->first;
    if (nAlsoFirstMs >= 0 && nAlsoLastMs >= nAlsoFirstMs) {
        nMin = std::min(nMin, nAlsoFirstMs);
        nMax = std::max(nMax, nAlsoLastMs);
    }
    // The smallest round width that covers the range in nMaxBins bins.
    std::int64_t nWidth = 1;
    for (std::int64_t nPower = 1;; nPower *= 10) {
        bool bFits = false;
        for (std::int64_t nStep : {1, 2, 5}) {
            nWidth = nStep * nPower;
            if ((nMax - nMin / nWidth * nWidth) / nWidth < nMaxBins) {
                bFits = true;
                break;
            }
        }
        if (bFits)
            break;
    }
    histogram.nWidthMs = nWidth;
    histogram.nFirstMs = nMin / nWidth * nWidth;
    histogram.vecBins.resize(std::size_t((nMax - histogram.nFirstMs) / nWidth + 1), {0, 0});
    for (const auto& [nMs, counts] : m_mapTimes) {
        auto& bin = histogram.vecBins[std::size_t((nMs - histogram.nFirstMs) / nWidth)];
        for (std::size_t i = 0; i < counts.size(); ++i)
            bin[i] += counts[i];
    }
    return histogram;
}

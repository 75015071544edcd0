#pragma once

#include "CResultsListener.h"

#include <array>
#include <cstdint>
#include <map>
#include <vector>

// What the results window draws, kept small however long the run: per URL
// the run's time is cut into at most kBuckets buckets of equal width (the
// width doubles, merging neighbours, when the run outgrows them), and each
// bucket keeps the requests that matter to the eye: its fastest and its
// slowest response, its slowest slow one, its first failure and its first
// response whose checks failed (an Expect or Capture line). A run with
// no more than two responses per URL and bucket is drawn point for point.
// Responses (ok and slow requests) are also counted per millisecond value
// for the histogram. Failures are timeouts, failed requests and requests
// that were not sent: their times are waits, not response times.
class CResultsChartData {
public:
    using SPoint = CResultsListener::SPoint;

    static constexpr int kBuckets = 512;

    void Clear();
    // A line's number is the count of lines added before it: a URL's, or
    // a group of URLs'.
    void AddUrl();
    // The request in the line of its URL, or in line nLine.
    void Add(const SPoint& point) { Add(point, point.nUrl); }
    void Add(const SPoint& point, int nLine);

    int UrlCount() const { return int(m_vecUrls.size()); }
    std::uint64_t Count() const { return m_nCount; }
    std::int64_t LastAtMs() const { return m_nLastAtMs; }
    std::int64_t MaxTimeMs() const { return m_nMaxTimeMs; }  // slowest response; -1 without one
    std::int64_t BucketWidthMs() const { return m_nWidthMs; }
    // Timeouts, failed requests, requests not sent.
    const std::array<std::uint64_t, 3>& Failures() const { return m_failures; }

    // The URL's line: its kept responses in the order they started.
    std::vector<SPoint> Line(int nUrl) const;
    // Kept requests of every URL: slow responses, failures, and responses
    // whose checks failed.
    void Marks(std::vector<SPoint>& vecSlow, std::vector<SPoint>& vecFailed, std::vector<SPoint>& vecChecks) const;

    struct SHistogram {
        std::int64_t nFirstMs = 0;  // lower edge of the first bin
        std::int64_t nWidthMs = 1;  // every bin's width
        // Per bin: responses that were ok, and slow ones.
        std::vector<std::array<std::uint64_t, 2>> vecBins;
        // Requests without a response time, which get bars of their own:
        // timeouts, failed requests, requests not sent.
        std::array<std::uint64_t, 3> failures{};
    };
    // At most nMaxBins bins of a round width (1, 2 or 5 times a power of
    // ten) over the responses' range, stretched to take in nAlsoFirstMs to
    // nAlsoLastMs when given (another run's responses drawn with them).
    SHistogram Histogram(int nMaxBins, std::int64_t nAlsoFirstMs = -1, std::int64_t nAlsoLastMs = -1) const;

private:
    struct SBucket {
        std::uint32_t nResponses = 0;
        SPoint fastest;
        SPoint slowest;
        SPoint slowestSlow;    // valid when bSlow
        SPoint firstFailure;   // valid when bFailure
        SPoint firstCheck;     // valid when bCheck
        bool bSlow = false;
        bool bFailure = false;
        bool bCheck = false;
    };
    using Buckets = std::vector<SBucket>;

    static bool IsResponse(ERequestOutcome outcome)
    {
        return outcome == ERequestOutcome::Ok || outcome == ERequestOutcome::Slow;
    }
    static void Merge(SBucket& into, const SBucket& from);
    static void AddTo(SBucket& bucket, const SPoint& point);
    void Widen();

    std::vector<Buckets> m_vecUrls;
    std::int64_t m_nWidthMs = 1;
    std::uint64_t m_nCount = 0;
    std::int64_t m_nLastAtMs = 0;
    std::int64_t m_nMaxTimeMs = -1;
    std::map<std::int64_t, std::array<std::uint64_t, 2>> m_mapTimes;  // ms -> ok and slow responses
    std::array<std::uint64_t, 3> m_failures{};                        // timeouts, failed, not sent
};

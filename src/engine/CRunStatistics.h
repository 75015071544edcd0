#pragma once

#include "RunResults.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <deque>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

// The figures of one URL, or of the whole run.
//
// Counts: every result counts once in nCount and once in the count of its
// outcome, so nOk + nSlow + nTimeout + nFailed + nNotSent == nCount.
//
// Times: the figures cover the responses, that is the ok and slow results.
// A request that timed out, failed or was not sent brought no response: it
// is counted beside them, never as a response time (a refused connection is
// not a 0 ms answer). nTimed is how many results the figures cover; when it
// is 0 the time figures are -1.
//
// With the nTimed times sorted ascending as t[1] <= ... <= t[n], the figures
// are exact, by nearest rank: the p-th percentile is t[ceil(p * n / 100)],
// so the median is t[ceil(n / 2)] (for an even count the lower of the two
// middle times; always a time that was measured) and the 95th percentile is
// t[ceil(95 * n / 100)], the 99th t[ceil(99 * n / 100)]. The mean is the sum
// of the times over n.
//
// Error % is the share of results that brought no response (timeout, failed,
// not sent) in nCount. Requests per second is nCount over the span from the
// first request's start to the last one's end; -1 when that span is 0.
struct CUrlStatistics {
    QString strUrl;  // the results' strUrl; empty for the run's total
    std::uint64_t nCount = 0;
    std::uint64_t nOk = 0;
    std::uint64_t nSlow = 0;
    std::uint64_t nTimeout = 0;
    std::uint64_t nFailed = 0;
    std::uint64_t nNotSent = 0;
    std::uint64_t nCheckFailed = 0;  // of the ok and slow ones: answered, but a check failed
    std::uint64_t nTimed = 0;
    std::int64_t nMinMs = -1;
    std::int64_t nMedianMs = -1;
    std::int64_t nP95Ms = -1;
    std::int64_t nP99Ms = -1;
    std::int64_t nMaxMs = -1;
    double dMeanMs = -1.0;
    double dErrorPercent = 0.0;
    double dRequestsPerSecond = -1.0;
};

// The downtimes of one CheckAlive line (its host and port): how many waits
// it made, how many were stopped before the device came back, and the
// minimum, median (nearest rank, as above) and maximum time from the first
// attempt to the accepted connection of the waits that saw the device come
// back; -1 when none did.
struct CCheckAliveStatistics {
    int nLine = 0;
    QString strHost;
    QString strPort;
    std::uint64_t nWaits = 0;
    std::uint64_t nStopped = 0;
    std::int64_t nMinMs = -1;
    std::int64_t nMedianMs = -1;
    std::int64_t nMaxMs = -1;
};

// One entry per CheckAlive line and target, in the order each first waited.
std::vector<CCheckAliveStatistics> CheckAliveStatistics(const std::vector<CCheckAliveResult>& vecWaits);

struct CRunStatisticsSnapshot {
    std::vector<CUrlStatistics> vecUrls;  // one per URL, in the order each was first seen
    CUrlStatistics total;                 // the whole run
    std::vector<CCheckAliveStatistics> vecCheckAlives;  // the CheckAlive lines' downtimes
    std::uint64_t nRevision = 0;          // Revision() when the snapshot was taken
};

// Statistics of a run, per URL and in total. A listener on the run's results:
// OnRunStart clears the figures of the previous run, OnRequest adds a result.
// Thread-safe: the worker adds while another thread takes snapshots.
//
// Exact and cheap: each URL keeps a count per millisecond value (while it
// has met at most kFewTimes different values, a short sorted list of them;
// then a dense table up to kDenseLimitMs and an ordered map above), so adding
// a result costs a hash look-up and two increments, and memory grows with the
// range of times, not with the number of requests; a URL requested once or a
// few times (a sweep of 100,000 URLs) costs a few bytes, not a table. The
// URLs' entries never move once made (a new URL never copies the others), and
// a snapshot recomputes only the URLs that changed since the last one.
class CRunStatistics : public IRunListener {
public:
    static constexpr std::int64_t kDenseLimitMs = 65536;
    static constexpr std::size_t kFewTimes = 16;

    CRunStatistics() = default;
    CRunStatistics(const CRunStatistics&) = delete;
    CRunStatistics& operator=(const CRunStatistics&) = delete;

    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;

    void Clear();
    void Add(const CRequestResult& result);

    // Grows with every Add and Clear; a reader can skip a snapshot when it
    // has not changed.
    std::uint64_t Revision() const { return m_nRevision.load(std::memory_order_acquire); }

    CRunStatisticsSnapshot Snapshot() const;
    // Brings a snapshot of this object up to date, copying only the URLs
    // that were added or changed since it was taken (a run of many URLs
    // costs a look at each, not a copy of each). At most nMaxNew URLs it
    // lacks are added at a time, the first ones first: false when some are
    // still missing, for a later call.
    bool Update(CRunStatisticsSnapshot& snapshot, std::size_t nMaxNew = std::size_t(-1)) const;
    CUrlStatistics Total() const;
    // Trades everything with other: figures built on another thread taken
    // in at once. The revisions go with them, so a snapshot of either is
    // taken anew.
    void Swap(CRunStatistics& other);

private:
    class CTimes {
    public:
        void Add(std::int64_t nMs);
        // The figures from nTimed on; the counts are the caller's.
        void Fill(CUrlStatistics& figures) const;

    private:
        std::int64_t ValueAtRank(std::uint64_t nRank) const;
        void AddToTables(std::int64_t nMs, std::uint64_t nCount);

        // Count per ms, ascending, while there are at most kFewTimes values
        // (the tables below are empty until then).
        std::vector<std::pair<std::int64_t, std::uint64_t>> m_vecFew;
        bool m_bTables = false;
        std::vector<std::uint64_t> m_vecDense;        // count per ms below kDenseLimitMs
        std::map<std::int64_t, std::uint64_t> m_mapHigh;  // count per ms from kDenseLimitMs on
        std::uint64_t m_nTimed = 0;
        std::int64_t m_nMin = 0;
        std::int64_t m_nMax = 0;
        std::int64_t m_nSum = 0;
    };

    struct CEntry {
        CUrlStatistics counts;  // counts always current; figures valid when !bDirty
        CTimes times;
        bool bDirty = false;
        std::uint64_t nChangedAt = 0;  // the revision its last result made
        // Its neighbours in the order of their last change (kNone: none).
        std::size_t nChangedBefore = kNone;
        std::size_t nChangedAfter = kNone;
        std::int64_t nFirstAtMs = -1;  // the earliest request start
        std::int64_t nLastEndMs = -1;  // the latest request end
    };

    static constexpr std::size_t kNone = std::size_t(-1);

    static void AddTo(CEntry& entry, const CRequestResult& result);
    // Moves entry nEntry to the end of the order of change.
    void MarkChanged(std::size_t nEntry);
    static const CUrlStatistics& Refresh(CEntry& entry);

    mutable std::mutex m_mutex;
    QHash<QString, std::size_t> m_hashIndex;  // URL -> m_entries index
    mutable std::deque<CEntry> m_entries;  // a deque: an entry stays where it was made
    // The entries in the order of their last change, the last changed at the
    // end: a snapshot brought up to date looks only at those it lacks.
    std::size_t m_nFirstChanged = kNone;
    std::size_t m_nLastChanged = kNone;
    mutable CEntry m_total;
    std::vector<CCheckAliveResult> m_vecCheckAlives;
    std::atomic<std::uint64_t> m_nRevision{0};
    std::uint64_t m_nClearedAt = 0;  // the revision the last Clear made
};

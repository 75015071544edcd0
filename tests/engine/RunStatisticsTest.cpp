#include "engine/CRunStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace {

CRequestResult Result(const QString& strUrl, ERequestOutcome outcome, std::int64_t nTimeMs)
{
    CRequestResult result;
    result.strUrl = strUrl;
    result.outcome = outcome;
    result.nTimeMs = nTimeMs;
    return result;
}

struct CExpected {
    std::uint64_t nCount, nOk, nSlow, nTimeout, nFailed, nNotSent, nTimed;
    std::int64_t nMin, nMedian, nP95, nMax;
    double dMean;
};

void ExpectFigures(const CUrlStatistics& s, const CExpected& e)
{
    EXPECT_EQ(s.nCount, e.nCount);
    EXPECT_EQ(s.nOk, e.nOk);
    EXPECT_EQ(s.nSlow, e.nSlow);
    EXPECT_EQ(s.nTimeout, e.nTimeout);
    EXPECT_EQ(s.nFailed, e.nFailed);
    EXPECT_EQ(s.nNotSent, e.nNotSent);
    EXPECT_EQ(s.nTimed, e.nTimed);
    EXPECT_EQ(s.nMinMs, e.nMin);
    EXPECT_EQ(s.nMedianMs, e.nMedian);
    EXPECT_EQ(s.nP95Ms, e.nP95);
    EXPECT_EQ(s.nMaxMs, e.nMax);
    EXPECT_DOUBLE_EQ(s.dMeanMs, e.dMean);
}

// Nearest rank over a sorted copy: the smallest rank k with k / n >= p / 100.
std::int64_t SortedRank(const std::vector<std::int64_t>& vecSorted, int nPercent)
{
    std::size_t k = 1;
    while (k * 100 < vecSorted.size() * static_cast<std::size_t>(nPercent))
        ++k;
    return vecSorted[k - 1];
}

const QString kA = QStringLiteral("http://127.0.0.1:8080/a");
const QString kB = QStringLiteral("http://127.0.0.1:8080/b");
const QString kC = QStringLiteral("https://127.0.0.1:443/c");

}  // namespace

// Small hand-computed set: odd and even counts, ties, a time above the dense
// table, a URL with no timed result, and a snapshot taken half-way.
TEST(RunStatisticsTest, HandComputedFiguresPerUrlAndTotal)
{
    using O = ERequestOutcome;
    CRunStatistics stats;
    stats.OnRunStart(CRunStartInfo());
    stats.OnRequest(Result(kA, O::Ok, 5));
    stats.OnRequest(Result(kB, O::Ok, 10));
    stats.OnRequest(Result(kA, O::Ok, 1));
    stats.OnRequest(Result(kB, O::Timeout, 40));
    stats.OnRequest(Result(kC, O::NotSent, 0));

    CRunStatisticsSnapshot half = stats.Snapshot();
    ASSERT_EQ(half.vecUrls.size(), 3u);
    // A: 1 5 -> median rank 1, p95 rank 2.
    ExpectFigures(half.vecUrls[0], {2, 2, 0, 0, 0, 0, 2, 1, 1, 5, 5, 3.0});

    stats.OnRequest(Result(kA, O::Ok, 3));
    stats.OnRequest(Result(kA, O::Slow, 9));
    stats.OnRequest(Result(kB, O::Failed, 20));
    stats.OnRequest(Result(kA, O::Ok, 3));
    stats.OnRequest(Result(kB, O::Ok, 30));
    stats.OnRequest(Result(kA, O::NotSent, 0));
    stats.OnRequest(Result(kB, O::Timeout, 70000));

    const CRunStatisticsSnapshot s = stats.Snapshot();
    EXPECT_GT(s.nRevision, half.nRevision);
    ASSERT_EQ(s.vecUrls.size(), 3u);
    EXPECT_EQ(s.vecUrls[0].strUrl, kA);
    EXPECT_EQ(s.vecUrls[1].strUrl, kB);
    EXPECT_EQ(s.vecUrls[2].strUrl, kC);
    // A timed: 1 3 3 5 9 (not-sent left out): median rank 3, p95 rank 5, mean 21/5.
    ExpectFigures(s.vecUrls[0], {6, 4, 1, 0, 0, 1, 5, 1, 3, 9, 9, 4.2});
    // B's responses: 10 30 (the timeouts and the failure brought none and are
    // counted beside them): median rank 1, p95 rank 2, mean 20; 3 of 5 unanswered.
    ExpectFigures(s.vecUrls[1], {5, 2, 0, 2, 1, 0, 2, 10, 10, 30, 30, 20.0});
    EXPECT_DOUBLE_EQ(s.vecUrls[1].dErrorPercent, 60.0);
    ExpectFigures(s.vecUrls[2], {1, 0, 0, 0, 0, 1, 0, -1, -1, -1, -1, -1.0});
    // Total responses: 1 3 3 5 9 10 30: median rank 4, p95 rank 7, mean 61/7.
    ExpectFigures(s.total, {12, 6, 1, 2, 1, 2, 7, 1, 5, 30, 30, 61.0 / 7});
    EXPECT_EQ(s.total.nP99Ms, 30);
    EXPECT_DOUBLE_EQ(s.total.dErrorPercent, 500.0 / 12) << "2 timeouts, 1 failure, 2 not sent";
    EXPECT_TRUE(s.total.strUrl.isEmpty());
    ExpectFigures(stats.Total(), {12, 6, 1, 2, 1, 2, 7, 1, 5, 30, 30, 61.0 / 7});

    // Twelve answers of about 401 ms and twelve refused connections: the
    // refusals are no 0 ms answers. Requests per second over the run's span.
    CRunStatistics refused;
    for (int i = 0; i < 12; ++i) {
        CRequestResult answer = Result(kA, O::Ok, 401 + i % 2);
        answer.nAtMs = 1000 * i;
        refused.Add(answer);
        CRequestResult failed = Result(kA, O::Failed, 0);
        failed.nAtMs = 1000 * i + 500;
        refused.Add(failed);
    }
    ExpectFigures(refused.Total(), {24, 12, 0, 0, 12, 0, 12, 401, 401, 402, 402, 401.5});
    EXPECT_DOUBLE_EQ(refused.Total().dRequestsPerSecond, 24 * 1000.0 / 11500);

    // Four times, even: the median is the lower middle one.
    CRunStatistics even;
    for (const std::int64_t nMs : {40, 10, 30, 20})
        even.Add(Result(kA, O::Ok, nMs));
    ExpectFigures(even.Total(), {4, 4, 0, 0, 0, 0, 4, 10, 20, 40, 40, 25.0});

    // The next run starts from nothing.
    stats.OnRunStart(CRunStartInfo());
    EXPECT_TRUE(stats.Snapshot().vecUrls.empty());
    ExpectFigures(stats.Total(), {0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1.0});
}

// A large random set against a sort-based computation.
TEST(RunStatisticsTest, LargeRandomSetMatchesSortedComputation)
{
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> pickUrl(0, 2);
    std::uniform_int_distribution<int> pickOutcome(0, 4);
    std::uniform_int_distribution<std::int64_t> fast(0, 3000);
    std::uniform_int_distribution<std::int64_t> slow(60000, 200000);
    const QString urls[] = {kA, kB, kC};

    CRunStatistics stats;
    std::vector<std::int64_t> vecTimes[3];
    std::vector<std::int64_t> vecAll;
    std::uint64_t nNotSent[3] = {0, 0, 0};
    std::uint64_t nCount[3] = {0, 0, 0};
    for (int i = 0; i < 200000; ++i) {
        const int nUrl = pickUrl(rng);
        const auto outcome = static_cast<ERequestOutcome>(pickOutcome(rng));
        const std::int64_t nMs = outcome == ERequestOutcome::NotSent ? 0 : (i % 50 == 0 ? slow(rng) : fast(rng));
        stats.Add(Result(urls[nUrl], outcome, nMs));
        if (outcome == ERequestOutcome::NotSent)
            ++nNotSent[nUrl];
        ++nCount[nUrl];
        if (outcome == ERequestOutcome::Ok || outcome == ERequestOutcome::Slow) {
            vecTimes[nUrl].push_back(nMs);
            vecAll.push_back(nMs);
        }
    }

    auto check = [](const CUrlStatistics& s, std::vector<std::int64_t> vec) {
        std::sort(vec.begin(), vec.end());
        std::int64_t nSum = 0;
        for (const std::int64_t n : vec)
            nSum += n;
        ASSERT_EQ(s.nTimed, vec.size());
        EXPECT_EQ(s.nMinMs, vec.front());
        EXPECT_EQ(s.nMedianMs, SortedRank(vec, 50));
        EXPECT_EQ(s.nP95Ms, SortedRank(vec, 95));
        EXPECT_EQ(s.nP99Ms, SortedRank(vec, 99));
        EXPECT_EQ(s.nMaxMs, vec.back());
        EXPECT_DOUBLE_EQ(s.dMeanMs, static_cast<double>(nSum) / static_cast<double>(vec.size()));
    };
    const CRunStatisticsSnapshot s = stats.Snapshot();
    ASSERT_EQ(s.vecUrls.size(), 3u);
    for (const CUrlStatistics& u : s.vecUrls) {
        const int nUrl = static_cast<int>(std::find(std::begin(urls), std::end(urls), u.strUrl) - std::begin(urls));
        ASSERT_LT(nUrl, 3);
        EXPECT_EQ(u.nNotSent, nNotSent[nUrl]);
        EXPECT_EQ(u.nCount, nCount[nUrl]);
        EXPECT_EQ(u.nOk + u.nSlow + u.nTimeout + u.nFailed + u.nNotSent, u.nCount);
        check(u, vecTimes[nUrl]);
    }
    EXPECT_EQ(s.total.nCount, 200000u);
    check(s.total, vecAll);
}

// The worker adds while another thread reads; every snapshot is consistent.
TEST(RunStatisticsTest, SnapshotsWhileAddingAreConsistent)
{
    CRunStatistics stats;
    constexpr int kResults = 20000;
    std::thread worker([&stats] {
        for (int i = 0; i < kResults; ++i)
            stats.OnRequest(Result(i % 2 ? kA : kB, i % 3 ? ERequestOutcome::Ok : ERequestOutcome::Slow, i % 700));
    });
    std::uint64_t nLast = 0;
    while (nLast < kResults) {
        const CRunStatisticsSnapshot s = stats.Snapshot();
        std::uint64_t nSum = 0;
        for (const CUrlStatistics& u : s.vecUrls)
            nSum += u.nCount;
        ASSERT_EQ(nSum, s.total.nCount);
        ASSERT_EQ(s.total.nOk + s.total.nSlow, s.total.nCount);
        ASSERT_GE(s.total.nCount, nLast);
        nLast = s.total.nCount;
    }
    worker.join();
    const CUrlStatistics total = stats.Total();
    EXPECT_EQ(total.nMinMs, 0);
    EXPECT_EQ(total.nMaxMs, 699);
}

// A snapshot brought up to date in place holds what a new one holds: URLs
// added and changed since, and after a Clear only the new run's.
TEST(RunStatisticsTest, UpdateBringsASnapshotUpToDate)
{
    using O = ERequestOutcome;
    CRunStatistics stats;
    CRunStatisticsSnapshot kept;
    stats.Update(kept);
    EXPECT_TRUE(kept.vecUrls.empty());
    stats.OnRequest(Result(kA, O::Ok, 5));
    stats.OnRequest(Result(kB, O::Ok, 10));
    stats.Update(kept);
    stats.OnRequest(Result(kA, O::Slow, 90));
    stats.OnRequest(Result(kC, O::Timeout, 40));
    stats.Update(kept);
    auto Same = [](const CRunStatisticsSnapshot& a, const CRunStatisticsSnapshot& b) {
        if (a.vecUrls.size() != b.vecUrls.size() || a.nRevision != b.nRevision || a.total.nCount != b.total.nCount)
            return false;
        for (std::size_t i = 0; i < a.vecUrls.size(); ++i)
            if (a.vecUrls[i].strUrl != b.vecUrls[i].strUrl || a.vecUrls[i].nCount != b.vecUrls[i].nCount ||
                a.vecUrls[i].nSlow != b.vecUrls[i].nSlow || a.vecUrls[i].nMaxMs != b.vecUrls[i].nMaxMs)
                return false;
        return true;
    };
    EXPECT_TRUE(Same(kept, stats.Snapshot()));
    ASSERT_EQ(kept.vecUrls.size(), 3u);
    EXPECT_EQ(kept.vecUrls[0].nCount, 2u);
    EXPECT_EQ(kept.vecUrls[0].nMaxMs, 90);

    stats.OnRunStart(CRunStartInfo());
    stats.OnRequest(Result(kC, O::Ok, 7));
    stats.Update(kept);
    EXPECT_TRUE(Same(kept, stats.Snapshot()));
    ASSERT_EQ(kept.vecUrls.size(), 1u);
    EXPECT_EQ(kept.vecUrls[0].strUrl, kC);

    // Taken a few new URLs at a time, it says when some are still missing;
    // one that changed before it was taken comes with its latest figures.
    stats.OnRequest(Result(kA, O::Ok, 3));
    stats.OnRequest(Result(kB, O::Ok, 4));
    EXPECT_FALSE(stats.Update(kept, 1));
    ASSERT_EQ(kept.vecUrls.size(), 2u);
    stats.OnRequest(Result(kB, O::Slow, 80));
    stats.OnRequest(Result(kC, O::Ok, 9));
    EXPECT_TRUE(stats.Update(kept, 1));
    EXPECT_TRUE(Same(kept, stats.Snapshot()));
    ASSERT_EQ(kept.vecUrls.size(), 3u);
    EXPECT_EQ(kept.vecUrls[2].strUrl, kB);
    EXPECT_EQ(kept.vecUrls[2].nMaxMs, 80);
    EXPECT_EQ(kept.vecUrls[0].nCount, 2u);
}

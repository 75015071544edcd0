// Loop overhead of the execution loop: While(N) around one loopback request.
// Prints the application and HTTP totals and the cost per pass beyond the
// request and the End's 10 ms stop check. With "stats", a run statistics
// collector listens to the run's results; with "checks", five Expect lines
// are judged on every answer, and one answer's five checks (with a capture
// and the target it goes into) are timed apart and their allocations
// counted.
//   engine_loop_bench [passes] [stats|checks]

#include "CTestResponder.h"
#include "EngineHarness.h"

#include "engine/CRunStatistics.h"
#include "engine/StepChecks.h"
#include "platform/CManualResetEvent.h"
#include "platform/MonotonicClock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Counts the heap allocations of the whole process (Qt's text buffers are
// malloc'd, not new'd) while g_bCounting is on. Not under a sanitizer,
// which has its own allocator.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELKOR_BENCH_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELKOR_BENCH_SANITIZED 1
#endif
#if defined(__GLIBC__) && !defined(VELKOR_BENCH_SANITIZED)
#define VELKOR_BENCH_COUNTS_ALLOCATIONS 1
namespace {
std::atomic<bool> g_bCounting{false};
std::atomic<long long> g_nAllocations{0};
void Count()
{
    if (g_bCounting.load(std::memory_order_relaxed))
        g_nAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace
extern "C" {
void* __libc_malloc(std::size_t nSize);
void* __libc_calloc(std::size_t nCount, std::size_t nSize);
void* __libc_realloc(void* p, std::size_t nSize);
void __libc_free(void* p);
void* malloc(std::size_t nSize) noexcept
{
    Count();
    return __libc_malloc(nSize);
}
void* calloc(std::size_t nCount, std::size_t nSize) noexcept
{
    Count();
    return __libc_calloc(nCount, nSize);
}
void* realloc(void* p, std::size_t nSize) noexcept
{
    Count();
    return __libc_realloc(p, nSize);
}
void free(void* p) noexcept { __libc_free(p); }
}
#endif

int main(int argc, char* argv[])
{
    const int nPasses = argc > 1 ? std::atoi(argv[1]) : 1000;
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\npan=0 tilt=0 zoom");
    const bool bStats = argc > 2 && std::strcmp(argv[2], "stats") == 0;
    EngineHarness h;
    CRunStatistics statistics;
    if (bStats)
        h.m_engine.Context().m_listeners.push_back(&statistics);
    const bool bChecks = argc > 2 && std::strcmp(argv[2], "checks") == 0;
    const QString strChecks = QStringLiteral("\r\n  Expect status 200\r\n  Expect body contains \"pan=\"\r\n"
                                             "  Expect field pan == 0 \u00B1 1\r\n  Expect time < 1000\r\n"
                                             "  Expect header Content-Length == 17");
    h.Run(QStringLiteral("While(%1)\r\nhttp://127.0.0.1:%2/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0%3\r\nEnd")
              .arg(nPasses)
              .arg(peer.Port())
              .arg(bChecks ? strChecks : QString()));

    long long nHttp = -1;
    long long nApp = -1;
    for (const QString& strLine : h.RawLines()) {
        const QString strNumber = strLine.section(QLatin1String(" : "), 1).section(QLatin1Char(' '), 0, 0);
        if (strLine.contains(QLatin1String("(Http api only)")))
            nHttp = strNumber.toLongLong();
        else if (strLine.contains(QLatin1String("(Application)")))
            nApp = strNumber.toLongLong();
    }
    if (nHttp < 0 || nApp < 0 || peer.RequestCount() != nPasses) {
        std::fprintf(stderr, "bench: the run did not complete (%d requests)\n", peer.RequestCount());
        return 1;
    }
    if (bStats && statistics.Total().nCount != std::uint64_t(nPasses)) {
        std::fprintf(stderr, "bench: the statistics missed results\n");
        return 1;
    }
    for (const QString& strLine : h.RawLines()) {
        if (strLine.contains(QLatin1String("[CHECK]"))) {
            std::fprintf(stderr, "bench: a check failed: %s\n", qPrintable(strLine));
            return 1;
        }
    }
    const double perPass = double(nApp - nHttp) / nPasses;
    std::printf("results listener: %s; checks: %s\n", bStats ? "run statistics" : "none",
                bChecks ? "five per request" : "none");
    std::printf("requests per second: %.1f\n", nApp > 0 ? 1000.0 * nPasses / double(nApp) : 0.0);
    std::printf("passes %d, application total %lld ms, http total %lld ms\n", nPasses, nApp, nHttp);
    std::printf("per pass outside the request: %.3f ms (of which the End's stop check waits 10 ms): overhead %.3f ms\n",
                perPass, perPass - 10.0);
    std::printf("mean request %.3f ms\n", double(nHttp) / nPasses);

    if (bStats) {
        // What one result costs the worker: building the record and the
        // collector's share, apart from the run's noise.
        const QString strUrl = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ").arg(peer.Port());
        constexpr int kResults = 200000;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kResults; ++i) {
            CRequestResult result;
            result.nIndex = i + 1;
            result.nPass = i + 1;
            result.strScheme = QStringLiteral("http");
            result.strHost = QStringLiteral("127.0.0.1");
            result.strUrl = strUrl;
            result.nTimeMs = i % 50;
            statistics.OnRequest(result);
        }
        const double dUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / kResults;
        std::printf("one result to the statistics: %.3f us\n", dUs);
    }

    if (bChecks) {
        // What judging one answer's five checks, taking a capture and
        // putting it into the next target cost the worker, apart from the
        // run's noise; the first answers grow the worker's buffers.
        CStepChecks step;
        for (const QString& strLine : strChecks.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            step.checks.push_back(ReadCheckLine(strLine).check);
        step.captures.push_back(ReadCheckLine(QStringLiteral("Capture pan = field pan")).capture);
        const QStringList captureNames{QStringLiteral("pan")};
        const QString strTarget = QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left,{{pan}}");
        const QByteArray text = "HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\npan=0 tilt=0 zoom";
        ScriptVariables captures;
        ResponseChecks::CScratch scratch;
        QString strSentTarget;
        constexpr int kAnswers = 100000;
        int nFailed = 0;
        qsizetype nSent = 0;
        auto judge = [&] {
            const ResponseChecks::CAnswer answer(200, QByteArray::fromRawData(text.constData(), text.size()), true, 1,
                                                 &scratch);
            nFailed += int(StepChecks::Judge(step, answer, captures).failures.size());
            QStringList missing;
            nSent += StepChecks::TargetWithCaptures(strTarget, captureNames, captures, strSentTarget, missing).size();
        };
#ifdef VELKOR_BENCH_COUNTS_ALLOCATIONS
        g_bCounting = true;
#endif
        for (int i = 0; i < 10; ++i)
            judge();
#ifdef VELKOR_BENCH_COUNTS_ALLOCATIONS
        const long long nWarmUp = g_nAllocations.exchange(0);
#else
        const long long nWarmUp = -1;
#endif
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kAnswers; ++i)
            judge();
        const double dUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / kAnswers;
#ifdef VELKOR_BENCH_COUNTS_ALLOCATIONS
        g_bCounting = false;
        const double dAllocations = double(g_nAllocations.load()) / kAnswers;
#else
        const double dAllocations = -1;
#endif
        std::printf("five checks, a capture and its target on one answer: %.3f us (%d failed, %lld characters sent)\n",
                    dUs, nFailed, static_cast<long long>(nSent / kAnswers));
        if (dAllocations >= 0)
            std::printf("allocations per answer: %.2f (the first 10 answers, growing the buffers: %lld)\n",
                        dAllocations, nWarmUp);
    }

    // How long the 10 ms stop check itself takes, for comparison.
    CManualResetEvent stop;
    const std::int64_t nStart = MonotonicMs();
    for (int i = 0; i < 200; ++i)
        stop.Wait(10);
    std::printf("a bare 10 ms stop check takes %.3f ms\n", double(MonotonicMs() - nStart) / 200);
    return 0;
}

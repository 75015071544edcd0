#include "../LoggedRequests.h"
#include "CTestResponder.h"
#include "CTlsPeer.h"
#include "EngineHarness.h"
#include "engine/CRunVerdict.h"
#include "engine/RunResults.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Everything a run hands its listeners. Read once the run has ended.
class CResultLog : public IRunListener {
public:
    void OnRunStart(const CRunStartInfo& info) override { m_starts.push_back(info); }
    void OnRequest(const CRequestResult& result) override { m_results.push_back(result); }
    void OnRunEnd(const CRunEndInfo& info) override { m_ends.push_back(info); }

    std::vector<CRunStartInfo> m_starts;
    std::vector<CRequestResult> m_results;
    std::vector<CRunEndInfo> m_ends;
};

TEST(RunResults, OneRecordPerLoggedRequestWithItsPassLineTimeAndOutcome)
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    CTestResponder fast(ok);
    CTestResponder slow(ok, 120);
    CTestResponder silent(ok, 30000);
    const int nClosed = CTestResponder::ClosedPort();
    const QStringList script{
        QStringLiteral("While(2)"),
        QStringLiteral("http://127.0.0.1:%1/httpapi/a").arg(fast.Port()),
        QStringLiteral("http://127.0.0.1:%1/httpapi/b").arg(slow.Port()),
        QStringLiteral("End"),
        QStringLiteral("http://127.0.0.1:/httpapi/no-port"),
        QStringLiteral("Sleep(5)"),
        QStringLiteral("http://127.0.0.1:%1/httpapi/closed").arg(nClosed),
        QStringLiteral("http://127.0.0.1:%1/httpapi/silent").arg(silent.Port()),
    };
    EngineHarness h;
    CResultLog results;
    h.m_engine.Context().m_listeners.push_back(&results);
    h.m_engine.Context().m_strScriptName = QStringLiteral("soak.cmf");
    h.Run(script.join(QStringLiteral("\r\n")), QStringLiteral("60"));

    const QStringList raw = h.RawLines();
    QStringList texts;
    for (const QString& strLine : raw)
        texts << WithoutStamps(strLine.chopped(2));
    const std::vector<CLoggedRequest> logged = ReadLoggedRequests(texts);
    ASSERT_EQ(logged.size(), 7u);
    ASSERT_EQ(results.m_results.size(), logged.size());
    for (std::size_t i = 0; i < logged.size(); ++i) {
        const CRequestResult& result = results.m_results[i];
        SCOPED_TRACE(logged[i].strUrl.toStdString());
        EXPECT_EQ(result.nIndex, int(i) + 1);
        EXPECT_EQ(result.strUrl, logged[i].strUrl);
        EXPECT_EQ(result.nLine, script.indexOf(logged[i].strUrl) + 1);
        EXPECT_EQ(result.nPass, logged[i].nPass);
        EXPECT_EQ(result.nTimeMs, logged[i].nTimeMs);
        EXPECT_EQ(QString::fromLatin1(OutcomeName(result.outcome)), logged[i].Outcome());
        const bool bAnswered = result.outcome == ERequestOutcome::Ok || result.outcome == ERequestOutcome::Slow;
        EXPECT_EQ(result.nStatus, bAnswered ? 200 : -1);
        EXPECT_EQ(result.strScheme + QStringLiteral("://") + result.strHost + QLatin1Char(':') + result.strPort +
                      result.strTarget,
                  result.strUrl);
        if (i > 0) {
            const CRequestResult& previous = results.m_results[i - 1];
            EXPECT_GE(result.nAtMs, previous.nAtMs + previous.nTimeMs) << "one request after the other";
        }
    }
    // What the script makes of each peer, as the log said it.
    EXPECT_EQ(logged[0].nPass, 1);
    EXPECT_EQ(logged[3].nPass, 2);
    EXPECT_EQ(logged[1].Outcome(), QStringLiteral("slow"));
    EXPECT_EQ(logged[4].Outcome(), QStringLiteral("not-sent"));
    EXPECT_EQ(logged[5].Outcome(), QStringLiteral("failed"));
    EXPECT_EQ(logged[6].Outcome(), QStringLiteral("timeout"));

    ASSERT_EQ(results.m_starts.size(), 1u);
    EXPECT_EQ(results.m_starts[0].strScript, QStringLiteral("soak.cmf"));
    EXPECT_EQ(results.m_starts[0].nThresholdMs, 60);
    EXPECT_TRUE(results.m_starts[0].startedAt.isValid());
    ASSERT_EQ(results.m_ends.size(), 1u);
    const CRunEndInfo& end = results.m_ends[0];
    EXPECT_EQ(end.nHttpMs, FigureMs(raw.filter(QStringLiteral("(Http api only)")).value(0)));
    EXPECT_EQ(end.nApplicationMs, FigureMs(raw.filter(QStringLiteral("(Application)")).value(0)));
    EXPECT_EQ(end.nWhileRepeat, 2);
    EXPECT_FALSE(end.bStopped);
    EXPECT_TRUE(end.bComplete);
}

TEST(RunResults, AbortedRunStillEndsItsResultsAsIncomplete)
{
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    EngineHarness h;
    CResultLog results;
    h.m_engine.Context().m_listeners.push_back(&results);
    ASSERT_EQ(h.Send(QStringLiteral("While(0)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nEnd\r\nSleep(60000)")
                         .arg(peer.Port())),
              CRunEngine::ESendResult::Started);
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("While Count : 2")));
    h.m_engine.OnBnClickedStop();
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("Sleep start : 60000 ms")));
    h.m_engine.OnClose();  // closing, in the Sleep after the block

    const int nLogged = int(h.RawLines().filter(QStringLiteral("Response time : ")).size());
    ASSERT_EQ(results.m_results.size(), std::size_t(nLogged));
    ASSERT_EQ(results.m_ends.size(), 1u);
    const CRunEndInfo& end = results.m_ends[0];
    EXPECT_FALSE(end.bComplete);
    EXPECT_TRUE(end.bStopped);
    EXPECT_EQ(end.nWhileRepeat, nLogged - 1) << "the passes the block ended before the stop";
    EXPECT_EQ(end.nHttpMs, [&] {
        std::int64_t nSum = 0;
        for (const CRequestResult& result : results.m_results)
            nSum += result.nTimeMs;
        return nSum;
    }());
}

// Holds the thread it is delivered to for 500 ms, as a machine without a free
// core would.
std::atomic<bool> g_bWorkerHeld{false};
void HoldThread(int)
{
    g_bWorkerHeld = true;
    timespec left{0, 500000000};
    while (nanosleep(&left, &left) != 0) {
    }
}

// The run's worker is held once the device has the request, and the answer
// arrives while the worker cannot read it: the time ends at the answer's
// arrival, not when the worker read it 500 ms later (before, it was 500 ms
// and more). Plain and over TLS.
TEST(RunResults, ATimeEndsWhenTheAnswerArrivedNotWhenTheWorkerReadIt)
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    CTestCertificates certificates;
    CTestResponder plain(ok);
    CTlsPeer tls(certificates.MakeLeaf("IP:127.0.0.1"), {ok});
    std::mutex mutex;
    pthread_t worker{};  // guarded by mutex
    int nRequests = 0;   // guarded by mutex
    const auto holdWorker = [&] {
        {
            // The first request of a run only makes sure that the kernel
            // stamps arrivals (it starts doing so a moment after asked).
            std::lock_guard lock(mutex);
            if (++nRequests % 2 == 1)
                return;
            pthread_kill(worker, SIGUSR2);
        }
        for (int i = 0; i < 5000 && !g_bWorkerHeld; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    plain.SetBeforeAnswer(holdWorker);
    tls.SetBeforeAnswer(holdWorker);
    struct sigaction hold{};
    struct sigaction previous{};
    hold.sa_handler = HoldThread;
    hold.sa_flags = SA_RESTART;
    sigemptyset(&hold.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &hold, &previous), 0);

    for (const auto& [strScheme, nPort] : {std::pair{QStringLiteral("http"), plain.Port()},
                                           std::pair{QStringLiteral("https"), tls.Port()}}) {
        SCOPED_TRACE(strScheme.toStdString());
        g_bWorkerHeld = false;
        EngineHarness h;
        CResultLog results;
        h.m_engine.Context().m_listeners.push_back(&results);
        h.m_log.SetLineSink([&](const QString& strLine) {
            if (strLine.contains(QStringLiteral("[SEND]"))) {
                std::lock_guard lock(mutex);
                worker = pthread_self();  // the run's worker, about to send
            }
        });
        const QString strUrl = QStringLiteral("%1://127.0.0.1:%2/httpapi/a").arg(strScheme).arg(nPort);
        h.m_commandBox.SetWindowText(strUrl + QStringLiteral("\r\n") + strUrl);
        CRunSettings settings;
        settings.tls.strCaFile = certificates.CaFile();
        ASSERT_EQ(h.m_engine.OnBnClickedSend(settings), CRunEngine::ESendResult::Started);
        h.m_engine.WaitForRunEnd(60000);

        ASSERT_TRUE(g_bWorkerHeld) << "the worker was not held";
        ASSERT_EQ(results.m_results.size(), 2u);
        const CRequestResult& result = results.m_results[1];
        EXPECT_EQ(result.outcome, ERequestOutcome::Ok);
        EXPECT_GT(result.nTimeUs, 0);
        EXPECT_LT(result.nTimeUs, 500000) << "the time the worker was held is not the device's";
        EXPECT_LT(result.nTimeMs, 500);
    }
    sigaction(SIGUSR2, &previous, nullptr);
}

}  // namespace

TEST(RunResults, AScriptWithoutAServerIsAWholeEmptyRun)
{
    EngineHarness h;
    CResultLog results;
    h.m_engine.Context().m_listeners.push_back(&results);
    h.Run(QStringLiteral("Sleep(5)\r\nWhile(1)\r\nEnd"), QStringLiteral("300"));
    ASSERT_EQ(results.m_starts.size(), 1u);
    ASSERT_EQ(results.m_ends.size(), 1u);
    EXPECT_TRUE(results.m_results.empty());
    EXPECT_TRUE(results.m_ends[0].bComplete);
    EXPECT_EQ(results.m_ends[0].nHttpMs, 0);
    EXPECT_EQ(results.m_ends[0].nApplicationMs, 0);
}

namespace {

class CWaitLog : public CResultLog {
public:
    void OnCheckAlive(const CCheckAliveResult& result) override { m_waits.push_back(result); }
    std::vector<CCheckAliveResult> m_waits;
};

// A position read back and checked: the failing check fails its request
// with its reason and a [CHECK] line; a capture goes into a later target as
// it is sent; a capture not taken keeps its request from being sent.
TEST(RunResults, ChecksAndCapturesOfARun)
{
    CTestResponder device("HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\npan=12\r\ntilt=3\r\n");
    const QString strDevice = QStringLiteral("http://127.0.0.1:%1").arg(device.Port());
    const QStringList script{
        strDevice + QStringLiteral("/httpapi/SendPTZ?PTZ_GETPOSITION=0"),
        QStringLiteral("  Expect status 200"),
        QStringLiteral("  Expect field pan == 30 ± 1"),
        QStringLiteral("  Expect field tilt == 3"),
        QStringLiteral("  Capture pan = field pan"),
        QStringLiteral("  Capture zoom = field zoom"),
        strDevice + QStringLiteral("/httpapi/Move?pan={{pan}}"),
        strDevice + QStringLiteral("/httpapi/Zoom?z={{zoom}}"),
        QStringLiteral("CheckAlive(127.0.0.1:%1)").arg(device.Port()),
        QStringLiteral("  Expect downtime > 60s"),
        QStringLiteral("Require count >= 5"),
    };
    EngineHarness h;
    CWaitLog results;
    CRunVerdict verdict;
    h.m_engine.Context().m_listeners = {&results, &verdict};
    const QStringList texts = h.Run(script.join(QStringLiteral("\r\n")));

    ASSERT_EQ(results.m_results.size(), 3u);
    const CRequestResult& position = results.m_results[0];
    EXPECT_FALSE(position.bPass);
    EXPECT_EQ(position.outcome, ERequestOutcome::Ok);
    EXPECT_EQ(position.nChecks, 5);
    EXPECT_EQ(position.nChecksFailed, 2);
    EXPECT_EQ(position.strReason, QStringLiteral("expected field pan == 30 ± 1, got 12"));
    const QString strTarget = QStringLiteral("127.0.0.1:%1").arg(device.Port());
    EXPECT_TRUE(texts.contains(QStringLiteral("[CHECK] %1 (line 3) - expected field pan == 30 ± 1, got 12").arg(strTarget)))
        << texts.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("[CHECK] %1 (line 6) - capture zoom not taken: no field zoom").arg(strTarget)));

    EXPECT_TRUE(results.m_results[1].bPass);
    EXPECT_EQ(results.m_results[1].strTarget, QStringLiteral("/httpapi/Move?pan={{pan}}")) << "as written";
    EXPECT_TRUE(texts.contains(QStringLiteral("[SEND] %1/httpapi/Move?pan=12").arg(strDevice)));

    EXPECT_EQ(results.m_results[2].outcome, ERequestOutcome::NotSent);
    EXPECT_EQ(results.m_results[2].strReason, QStringLiteral("no value captured yet for {{zoom}}"));

    ASSERT_EQ(results.m_waits.size(), 1u);
    EXPECT_EQ(results.m_waits[0].nChecksFailed, 1);

    const CRunVerdictSummary summary = verdict.Summary();
    EXPECT_FALSE(summary.bPass);
    EXPECT_EQ(summary.nExitCode, 3) << "the request not sent ranks first";
    EXPECT_EQ(summary.nCheckFailed, 2u);
    EXPECT_EQ(summary.requirementsFailed, QStringList{QStringLiteral("required count >= 5, got 3 requests")});
    EXPECT_EQ(summary.vecFirst[0].Describe(),
              QStringLiteral("%1/httpapi/SendPTZ?PTZ_GETPOSITION=0 (check: expected field pan == 30 ± 1, got 12)")
                  .arg(strDevice));
}

// Checks that all hold, and a requirement that does not, fail the run with 7.
TEST(RunResults, ARequirementFailsARunWhoseRequestsPass)
{
    CTestResponder device("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\npan=30");
    const QString strUrl = QStringLiteral("http://127.0.0.1:%1/httpapi/a").arg(device.Port());
    EngineHarness h;
    CRunVerdict verdict;
    h.m_engine.Context().m_listeners = {&verdict};
    h.Run(QStringList{strUrl, QStringLiteral("Expect field pan == 30 +- 1"), QStringLiteral("Require max < 0")}.join(
        QStringLiteral("\r\n")));
    const CRunVerdictSummary summary = verdict.Summary();
    EXPECT_EQ(summary.nFailed, 0u);
    EXPECT_EQ(summary.nExitCode, 7);
    ASSERT_EQ(summary.requirementsFailed.size(), 1);
    EXPECT_TRUE(summary.requirementsFailed[0].startsWith(QStringLiteral("required max < 0, got ")));
}

}  // namespace

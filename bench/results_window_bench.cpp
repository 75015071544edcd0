// Results window throughput: a worker reports N results of a two-URL run to
// the results window (as fast as it can, or at a given rate) while the
// window's event loop runs, its request list in view; reports how long until
// the window shows the last one, the longest stall of the event loop (until
// a second after that, so the last drawing counts) with the GUI thread's own
// time in it and the most it ran between two turns, and the process's
// resident size before and at its peak. Then what the list and the chart
// cost once the run is in: each filter, the CSV of all requests, a zoom in
// and out.
//
//   results_window_bench [results [per-second [distinct]]]   (default 200000,
//                          as fast as it can; offscreen unless QT_QPA_PLATFORM
//                          is set). "distinct": every request another URL (a
//                          position sweep), from a script of 5,000 lines.
//   results_window_bench report [results]   (default 1000000): a saved JSON
//                          report of a two-URL run with that many requests
//                          opened as File > Open results... opens it (read,
//                          built and shown whole by CReportToResults): how long
//                          until the window shows the last request and the
//                          processor time it took, the longest stall, the
//                          resident size; then the reading alone once more.
#include "report/CJsonReport.h"
#include "ui/CReportToResults.h"
#include "ui/CRequestListModel.h"
#include "ui/CResponseTimeChart.h"
#include "ui/CResultsWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QTabWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

namespace {

// Peak resident size so far, in MiB.
long PeakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The calling thread's CPU time so far, in us.
qint64 ThreadCpuUs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The processor time the process has taken so far (every thread, user and
// system), in ms: what an opening costs whatever else the machine runs.
long long CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// A two-URL run of nResults requests as velkor-cli records it.
CRecordedRun SyntheticRun(int nResults)
{
    CRecordedRun run;
    run.bStarted = true;
    run.start.strScript = QStringLiteral("bench.cmf");
    run.start.startedAt = QDateTime::currentDateTime();
    run.start.nThresholdMs = 300;
    for (const char* pszTarget : {"/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0",
                                  "/httpapi/ReadParam?action=readparam&VIDEO_ENCODER_BITRATE=0"})
        run.vecTargets.push_back({QStringLiteral("http://127.0.0.1:8080") + QLatin1String(pszTarget),
                                  QStringLiteral("http"), QStringLiteral("127.0.0.1"), QStringLiteral("8080"),
                                  QString::fromLatin1(pszTarget)});
    run.vecReasons.push_back(QStringLiteral("[HTTP] no response within 10000 ms"));
    std::int64_t nAtMs = 0;
    quint32 nSeed = 1;
    run.vecRequests.reserve(std::size_t(nResults));
    for (int i = 1; i <= nResults; ++i) {
        nSeed = nSeed * 1103515245u + 12345u;
        CRecordedRequest request;
        request.nIndex = i;
        request.nPass = (i + 1) / 2;
        request.nLine = 2 - i % 2;
        request.nTarget = std::uint32_t(1 - i % 2);
        request.nStatus = 200;
        request.nTimeMs = 20 + (nSeed >> 16) % 400;
        request.nTimeUs = request.nTimeMs * 1000 + 123;
        request.nAtMs = nAtMs;
        request.outcome = request.nTimeMs >= 300 ? ERequestOutcome::Slow : ERequestOutcome::Ok;
        if (i % 20000 == 0) {
            request.nStatus = -1;
            request.nTimeMs = 10000;
            request.outcome = ERequestOutcome::Timeout;
            request.bPass = false;
            request.nReason = 0;
        }
        nAtMs += request.nTimeMs + 5;
        run.vecRequests.push_back(request);
    }
    run.bEnded = true;
    run.end.nHttpMs = nAtMs;
    run.end.nApplicationMs = nAtMs;
    run.verdict.bPass = false;
    run.nExitCode = 3;
    return run;
}

// File > Open results... of a report of nResults requests.
int OpenReport(int nResults)
{
    const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velkor-bench-XXXXXX"));
    const QString strPath = dir.filePath(QStringLiteral("report.json"));
    QElapsedTimer writing;
    writing.start();
    if (!CJsonReport::Save(strPath, SyntheticRun(nResults), QStringLiteral("bench"))) {
        std::fprintf(stderr, "the report could not be written\n");
        return 1;
    }
    const long long nWriteMs = writing.elapsed();
    const qint64 nBytes = QFileInfo(strPath).size();

    CResultsWindow window;
    window.show();
    if (auto* pTabs = window.findChild<QTabWidget*>(QStringLiteral("tables")))
        pTabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    const long nRssBeforeMiB = PeakRssMiB();
    CReportToResults reader(window);
    const long long nCpuBeforeMs = CpuMs();

    QElapsedTimer tick;
    qint64 nLongestStallMs = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { nLongestStallMs = std::max(nLongestStallMs, tick.restart()); });
    QElapsedTimer timer;
    timer.start();
    tick.start();
    heartbeat.start(10);
    qint64 nReadMs = -1;
    QString strProblem;
    reader.Open(strPath, [&](std::shared_ptr<const CRecordedFleet> pFleet, const std::vector<CUrlStatistics>&,
                             const QString& strWhy) {
        nReadMs = timer.elapsed();
        if (!pFleet)
            strProblem = strWhy;
    });
    while ((nReadMs < 0 || window.Statistics().total.nCount < std::uint64_t(nResults)) && strProblem.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 nShownMs = timer.elapsed();
    const long long nOpenCpuMs = CpuMs() - nCpuBeforeMs;
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    heartbeat.stop();
    if (!strProblem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(strProblem));
        return 1;
    }
    const long nRssMiB = PeakRssMiB();
    // The reading alone, once more (the file now cached): no window, no handing on.
    QElapsedTimer reading;
    reading.start();
    const long long nCpuReadMs = CpuMs();
    CRecordedFleet fleet;
    if (!CReportToResults::ReadReport(strPath, &fleet, &strProblem)) {
        std::fprintf(stderr, "%s\n", qPrintable(strProblem));
        return 1;
    }
    const long long nReadAloneMs = reading.elapsed();
    const long long nReadCpuMs = CpuMs() - nCpuReadMs;
    std::printf("report: %d requests, %lld bytes, written in %lld ms\n"
                "read and handed on: %lld ms\nshown whole: %lld ms (processor time %lld ms)\n"
                "longest event-loop stall: %lld ms\n"
                "peak RSS: %ld MiB (%ld MiB before, growth %ld MiB)\nread alone, again: %lld ms (processor time %lld ms)\n",
                nResults, static_cast<long long>(nBytes), nWriteMs, static_cast<long long>(nReadMs),
                static_cast<long long>(nShownMs), nOpenCpuMs, static_cast<long long>(nLongestStallMs), nRssMiB,
                nRssBeforeMiB, nRssMiB - nRssBeforeMiB, nReadAloneMs, nReadCpuMs);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/velkor-bench-XXXXXX"));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication application(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "report")
        return OpenReport(argc > 2 ? std::atoi(argv[2]) : 1000000);
    const int nResults = argc > 1 ? std::atoi(argv[1]) : 200000;
    const int nPerSecond = argc > 2 ? std::atoi(argv[2]) : 0;
    const bool bDistinct = argc > 3 && QByteArray(argv[3]) == "distinct";

    CResultsWindow window;
    window.show();
    // The request list in view, so that its rows are drawn as they come.
    if (auto* pTabs = window.findChild<QTabWidget*>(QStringLiteral("tables")))
        pTabs->setCurrentIndex(1);
    CRunStartInfo start;
    start.strScript = QStringLiteral("bench.cmf");
    start.nThresholdMs = 300;
    // As the run tells it: the script's last line.
    start.nLastStepLine = bDistinct ? 5000 : 2;
    window.Listener().OnRunStart(start);
    window.Flush();
    QCoreApplication::processEvents();
    const long nRssBeforeMiB = PeakRssMiB();

    // A 10 ms timer measures how long the event loop is kept from turning.
    // With it, how long the GUI thread ran in that stall (on a busy machine
    // the stall is longer than the work), the most it ran between two turns
    // of the timer (the work the machine's load stretches into a stall), and
    // where on the monotonic clock that was (for `perf record -k
    // CLOCK_MONOTONIC`).
    QElapsedTimer tick;
    qint64 nLongestStallMs = 0;
    qint64 nStallCpuUs = 0;
    qint64 nMostCpuUs = 0;
    qint64 nMostCpuEndMs = 0;
    qint64 nCpuAtTickUs = ThreadCpuUs();
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 nStall = tick.restart();
        const qint64 nCpuUs = ThreadCpuUs();
        if (nStall > nLongestStallMs) {
            nLongestStallMs = nStall;
            nStallCpuUs = nCpuUs - nCpuAtTickUs;
        }
        if (nCpuUs - nCpuAtTickUs > nMostCpuUs) {
            nMostCpuUs = nCpuUs - nCpuAtTickUs;
            nMostCpuEndMs = tick.msecsSinceReference();
        }
        nCpuAtTickUs = nCpuUs;
    });

    QElapsedTimer timer;
    timer.start();
    tick.start();
    heartbeat.start(10);
    std::thread worker([&] {
        const auto begin = std::chrono::steady_clock::now();
        IRunListener& listener = window.Listener();
        std::int64_t nAtMs = 0;
        quint32 nSeed = 1;
        for (int i = 1; i <= nResults; ++i) {
            nSeed = nSeed * 1103515245u + 12345u;
            CRequestResult result;
            result.nIndex = i;
            result.nPass = (i + 1) / 2;
            result.strScheme = QStringLiteral("http");
            result.strHost = QStringLiteral("127.0.0.1");
            result.strPort = QStringLiteral("8080");
            result.strTarget = i % 2 ? QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0")
                                     : QStringLiteral("/httpapi/ReadParam?action=readparam&VIDEO_ENCODER_BITRATE=0");
            result.nLine = 2 - i % 2;
            if (bDistinct) {
                result.strTarget = QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_PRESET_GOTO=%1").arg(i);
                result.nLine = (i - 1) % 5000 + 1;
            }
            // Made afresh for each request, as the run does.
            result.strUrl = QStringLiteral("%1://%2:%3%4").arg(result.strScheme, result.strHost, result.strPort,
                                                                result.strTarget);
            result.nStatus = 200;
            result.nAtMs = nAtMs;
            result.nTimeMs = 20 + (nSeed >> 16) % 400;
            result.outcome = result.nTimeMs >= start.nThresholdMs ? ERequestOutcome::Slow : ERequestOutcome::Ok;
            if (i % 20000 == 0) {
                result.nStatus = -1;
                result.nTimeMs = 10000;
                result.outcome = ERequestOutcome::Timeout;
            }
            nAtMs += result.nTimeMs + 5;
            listener.OnRequest(result);
            if (nPerSecond > 0 && i % 100 == 0)
                std::this_thread::sleep_until(begin + std::chrono::microseconds(i * 1000000LL / nPerSecond));
        }
        listener.OnRunEnd(CRunEndInfo());
    });
    // Done when the window shows the last result.
    while (window.Statistics().total.nCount < std::uint64_t(nResults))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 nMs = std::max<qint64>(1, timer.elapsed());
    worker.join();
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    heartbeat.stop();

    const long nRssRunMiB = PeakRssMiB();
    // One action's time, the window's drawing after it included.
    auto Timed = [](const std::function<void()>& action) {
        QElapsedTimer actionTimer;
        actionTimer.start();
        action();
        QCoreApplication::processEvents();
        return static_cast<long long>(actionTimer.elapsed());
    };
    QComboBox* pFilter = window.RequestFilter();
    auto Filter = [&](int nChoice) {
        pFilter->setCurrentIndex(nChoice);
        emit pFilter->activated(nChoice);
    };
    const long long nFailedMs = Timed([&] { Filter(1); });
    const long long nSlowMs = Timed([&] { Filter(2); });
    const long long nUrlMs = Timed([&] { Filter(3); });
    const long long nAllMs = Timed([&] { Filter(0); });
    QTemporaryDir csvDir;
    QFile csv(csvDir.filePath(QStringLiteral("requests.csv")));
    const long long nCsvMs = Timed([&] { csv.open(QIODevice::WriteOnly) && window.Requests()->WriteCsv(csv); });
    csv.close();
    const qint64 nCsvBytes = csv.size();
    CResponseTimeChart* pChart = window.TimeChart();
    const long long nZoomInMs = Timed([&] { pChart->ZoomTo(0, 60000); });
    const long long nZoomOutMs = Timed([&] { pChart->ResetZoom(); });

    const long nRssPeakMiB = PeakRssMiB();
    const QByteArray rate = nPerSecond > 0 ? QByteArray::number(nPerSecond) + " a second" : "as fast as it can";
    std::printf("results: %d (%s%s)\nelapsed: %lld ms\nresults/s: %lld\nlongest event-loop stall: %lld ms\n"
                "peak RSS: %ld MiB (%ld MiB before the results, growth %ld MiB)\n",
                nResults, rate.constData(), bDistinct ? ", every one another URL" : "", static_cast<long long>(nMs), static_cast<long long>(nResults * 1000LL / nMs),
                static_cast<long long>(nLongestStallMs), nRssRunMiB, nRssBeforeMiB, nRssRunMiB - nRssBeforeMiB);
    std::printf("longest stall: the GUI thread ran %lld ms of it; the most it ran between two turns: %lld ms, "
                "ending at %.3f s on the monotonic clock\n",
                static_cast<long long>(nStallCpuUs / 1000), static_cast<long long>(nMostCpuUs / 1000),
                double(nMostCpuEndMs) / 1000.0);
    std::printf("request list filter: failed only %lld ms, slow only %lld ms, one URL %lld ms, all %lld ms\n"
                "requests as CSV: %lld ms (%lld bytes)\nzoom to the first minute: %lld ms, back out: %lld ms\n"
                "peak RSS after these: %ld MiB\n",
                nFailedMs, nSlowMs, nUrlMs, nAllMs, nCsvMs, static_cast<long long>(nCsvBytes), nZoomInMs,
                nZoomOutMs, nRssPeakMiB);
    return 0;
}

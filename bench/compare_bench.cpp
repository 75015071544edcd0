// How long comparing two long runs takes, and how much memory: two JSON
// reports of N requests each are written (two URLs, 1 in 1000 timed out; the
// second run 5% slower), then a child process reads both and compares them
// as velkor-cli compare does, timed, with its peak resident memory.
//   compare_bench [N ...]        default: 100000 1000000
// Prints one line per N: N, the report size, read ms, compare ms, peak MB,
// and the child's processor time (wall times on a busy machine run long).

#include "report/CJsonReport.h"
#include "report/CReportSamples.h"
#include "report/CRunComparison.h"
#include "report/CRunRecorder.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool WriteReport(const QString& strPath, int nCount, double dScale)
{
    static const QString kUrls[] = {
        QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"),
        QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,5"),
    };
    CRunRecorder recorder;
    CRunStartInfo start;
    start.strScript = QStringLiteral("soak.cmf");
    start.startedAt = QDateTime::currentDateTime();
    start.nThresholdMs = 300;
    recorder.OnRunStart(start);
    std::int64_t nAtMs = 0;
    for (int i = 1; i <= nCount; ++i) {
        CRequestResult r;
        r.nIndex = i;
        r.nPass = (i + 1) / 2;
        r.nLine = 2 + i % 2;
        r.strScheme = QStringLiteral("http");
        r.strHost = QStringLiteral("127.0.0.1");
        r.strPort = QStringLiteral("8080");
        r.strUrl = kUrls[i % 2];
        r.strTarget = r.strUrl.mid(21);
        r.nTimeUs = std::int64_t(double(800 + (i * 7919) % 9000) * dScale);
        r.nTimeMs = r.nTimeUs / 1000;
        r.nAtMs = nAtMs;
        nAtMs += r.nTimeMs + 1;
        r.nStatus = 200;
        if (i % 1000 == 0) {
            r.outcome = ERequestOutcome::Timeout;
            r.nStatus = -1;
            r.strReason = QStringLiteral("no response in the wait");
        }
        r.bPass = r.outcome != ERequestOutcome::Timeout;
        recorder.OnRequest(r);
    }
    CRunEndInfo end;
    end.nHttpMs = nAtMs;
    end.nApplicationMs = nAtMs;
    recorder.OnRunEnd(end);
    return CJsonReport::Save(strPath, recorder.Snapshot(), QStringLiteral("1.0.1.4"));
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {100000, 1000000};
    QTemporaryDir dir;
    for (const int nCount : counts) {
        const QString strBase = dir.filePath(QStringLiteral("base.json"));
        const QString strNew = dir.filePath(QStringLiteral("new.json"));
        if (!WriteReport(strBase, nCount, 1.0) || !WriteReport(strNew, nCount, 1.05))
            return 1;
        std::fflush(stdout);
        // The comparison in a child of its own, so that its peak memory is
        // not the writing's.
        const pid_t pid = fork();
        if (pid == 0) {
            QElapsedTimer timer;
            timer.start();
            CReportSamples base, newer;
            QString strProblem;
            if (!CReportSampleReader::ReadFile(strBase, QStringLiteral("1.0.1.4"), &base, &strProblem) ||
                !CReportSampleReader::ReadFile(strNew, QStringLiteral("1.0.1.4"), &newer, &strProblem)) {
                std::fprintf(stderr, "%s\n", qPrintable(strProblem));
                _exit(1);
            }
            const double dReadMs = double(timer.nsecsElapsed()) / 1e6;
            timer.restart();
            CCompareOptions options;
            options.bounds.fill(10);
            const CRunComparison comparison = CRunComparison::Compare(base, newer, options);
            const double dCompareMs = double(timer.nsecsElapsed()) / 1e6;
            const CComparisonRow& row = comparison.Rows().front();
            std::printf("%9d  %8.1f MB each  read both %8.1f ms  compare %7.1f ms  line 2 p50 %+.1f%% real %d  ",
                        nCount, double(QFileInfo(strBase).size()) / 1e6, dReadMs, dCompareMs,
                        row.Figure(ECompareFigure::P50).dChange, int(row.Figure(ECompareFigure::P50).bReal));
            std::fflush(stdout);
            _exit(0);
        }
        int nStatus = 0;
        rusage usage{};
        if (wait4(pid, &nStatus, 0, &usage) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
            return 1;
        const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        std::printf("peak %6.1f MB  cpu %.2f s user %.2f s system\n", double(usage.ru_maxrss) / 1024.0,
                    seconds(usage.ru_utime), seconds(usage.ru_stime));
    }
    return 0;
}

// How long the run's reports take to write for a long run: a CRunRecorder
// is fed N synthetic results (two URLs, mostly ok, some slow, a few failed),
// then the JSON report, the JUnit report (per line and per request) and the
// HTML report are written to files and timed; the JSON Lines writer is timed per record.
//   report_bench [N ...]        default: 10000 100000 1000000
// Prints one line per report: N, what, ms, file size.

#include "report/CHtmlReport.h"
#include "report/CJUnitReport.h"
#include "report/CJsonLinesWriter.h"
#include "report/CJsonReport.h"
#include "report/CRunRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

CRequestResult Synthetic(int nIndex)
{
    static const QString kUrls[] = {
        QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"),
        QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,5"),
    };
    CRequestResult r;
    r.nIndex = nIndex;
    r.nPass = (nIndex + 1) / 2;
    r.nLine = 2 + nIndex % 2;
    r.strScheme = QStringLiteral("http");
    r.strHost = QStringLiteral("127.0.0.1");
    r.strPort = QStringLiteral("8080");
    r.strUrl = kUrls[nIndex % 2];
    r.strTarget = r.strUrl.mid(21);
    r.nAtMs = std::int64_t(nIndex) * 12;
    r.nTimeMs = 5 + nIndex % 37;
    r.nStatus = 200;
    if (nIndex % 1000 == 0) {
        r.outcome = ERequestOutcome::Timeout;
        r.nStatus = -1;
        r.strReason = QStringLiteral("no response in the wait");
    } else if (nIndex % 50 == 0) {
        r.outcome = ERequestOutcome::Slow;
        r.nTimeMs = 400;
    }
    r.bPass = r.outcome != ERequestOutcome::Timeout;
    return r;
}

double Ms(const QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e6; }

void Row(int nCount, const char* pszWhat, double dMs, const QString& strFile)
{
    std::printf("%9d  %-22s %9.1f ms  %10.3f MB\n", nCount, pszWhat, dMs,
                strFile.isEmpty() ? 0.0 : double(QFileInfo(strFile).size()) / 1e6);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {10000, 100000, 1000000};
    QTemporaryDir dir;
    for (const int nCount : counts) {
        CRunRecorder recorder;
        CRunStartInfo start;
        start.strScript = QStringLiteral("soak.cmf");
        start.startedAt = QDateTime::currentDateTime();
        start.nThresholdMs = 300;
        QElapsedTimer timer;
        timer.start();
        recorder.OnRunStart(start);
        for (int i = 1; i <= nCount; ++i)
            recorder.OnRequest(Synthetic(i));
        CRunEndInfo end;
        end.nHttpMs = nCount * 20;
        end.nApplicationMs = nCount * 12;
        end.nWhileRepeat = nCount / 2;
        recorder.OnRunEnd(end);
        Row(nCount, "record", Ms(timer), {});

        timer.restart();
        CRecordedRun run = recorder.Snapshot();
        run.verdict.bPass = false;
        run.verdict.nFailed = std::uint64_t(nCount / 1000);
        run.nExitCode = 3;
        Row(nCount, "snapshot", Ms(timer), {});

        const QString strJson = dir.filePath(QStringLiteral("r.json"));
        timer.restart();
        if (!CJsonReport::Save(strJson, run, QStringLiteral("bench")))
            return 1;
        Row(nCount, "json", Ms(timer), strJson);

        const QString strXml = dir.filePath(QStringLiteral("r.xml"));
        timer.restart();
        if (!CJUnitReport::Save(strXml, run, CJUnitReport::ECases::PerLine))
            return 1;
        Row(nCount, "junit per line", Ms(timer), strXml);
        timer.restart();
        if (!CJUnitReport::Save(strXml, run, CJUnitReport::ECases::PerRequest))
            return 1;
        Row(nCount, "junit per request", Ms(timer), strXml);

        const QString strHtml = dir.filePath(QStringLiteral("r.html"));
        timer.restart();
        if (!CHtmlReport::Save(strHtml, run, QStringLiteral("bench")))
            return 1;
        Row(nCount, "html", Ms(timer), strHtml);

        // JSON Lines: one write per record, as a run makes them.
        const QString strLines = dir.filePath(QStringLiteral("r.jsonl"));
        CJsonLinesWriter lines;
        if (!lines.Open(strLines, nullptr))
            return 1;
        lines.OnRunStart(start);
        timer.restart();
        for (int i = 1; i <= nCount; ++i)
            lines.OnRequest(Synthetic(i));
        const double dLinesMs = Ms(timer);
        Row(nCount, "jsonl records", dLinesMs, strLines);
        std::printf("%9d  %-22s %9.2f us\n", nCount, "jsonl per record", dLinesMs * 1000.0 / nCount);
    }
    return 0;
}

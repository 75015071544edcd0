#include "CResultsBulk.h"

#include "CResultsWindow.h"

#include <algorithm>

void CResultsBulk::AddRequests(const CRecordedRun& run, std::size_t nFrom, std::size_t nTo)
{
    nTo = std::min(nTo, run.vecRequests.size());
    if (nFrom >= nTo)
        return;
    CRequestResult result;
    for (std::size_t i = nFrom; i < nTo; ++i) {
        const CRecordedRequest& request = run.vecRequests[i];
        if (request.nTarget >= m_vecUrlOf.size())
            m_vecUrlOf.resize(std::size_t(request.nTarget) + 1, -1);
        int& nUrl = m_vecUrlOf[request.nTarget];
        if (nUrl < 0) {
            // A URL is numbered when first used, as the listener numbers them.
            const QString& strUrl = run.vecTargets[request.nTarget].strUrl;
            auto it = m_hashUrls.constFind(strUrl);
            if (it == m_hashUrls.constEnd()) {
                it = m_hashUrls.insert(strUrl, int(urls.size()));
                urls << strUrl;
                if (urls.size() > CResultsWindow::kMostChartLines) {
                    // The window groups the lines of so many URLs itself.
                    bChart = false;
                    chart.Clear();
                } else {
                    chart.AddUrl();
                }
            }
            nUrl = *it;
        }
        SPoint point;
        point.nAtMs = request.nAtMs;
        point.nTimeMs = request.nTimeMs;
        point.nIndex = request.nIndex;
        point.nPass = request.nPass;
        point.nUrl = nUrl;
        point.nLine = request.nLine;
        point.nStatus = std::int16_t(request.nStatus >= -1 && request.nStatus <= 9999 ? request.nStatus : -1);
        point.outcome = request.outcome;
        point.bPass = request.bPass;
        point.bCheckFailed = request.bCheckFailed;
        allRows.push_back(points.size());
        points.push_back(point);
        if (bChart)
            chart.Add(point);
        CResultsListener::FillResult(point, urls[nUrl], result);
        statistics.Add(result);
    }
}

void CResultsBulk::Finish(const CRecordedRun& run, const QString& strScript)
{
    start = run.start;
    start.strScript = strScript;
    // The verdict as the window judges it, by the run's own rules.
    verdict.OnRunStart(start);
    CRequestResult result;
    for (const SPoint& point : points) {
        CResultsListener::FillResult(point, urls[point.nUrl], result);
        verdict.OnRequest(result);
    }
    waits = run.vecCheckAlives;
    for (const CCheckAliveResult& wait : waits)
        statistics.OnCheckAlive(wait);
    // A run whose end never came was cut short.
    end = run.bEnded ? run.end : CRunEndInfo();
    end.bComplete = !run.IsPartial();
}

bool CResultsBulk::Build(const CRecordedRun& run, const QString& strScript, const std::atomic<bool>& bCancel)
{
    constexpr std::size_t kPiece = 65536;
    points.reserve(run.vecRequests.size());
    allRows.reserve(run.vecRequests.size());
    for (std::size_t nFrom = 0; nFrom < run.vecRequests.size(); nFrom += kPiece) {
        if (bCancel.load(std::memory_order_relaxed))
            return false;
        AddRequests(run, nFrom, nFrom + kPiece);
    }
    Finish(run, strScript);
    return !bCancel.load(std::memory_order_relaxed);
}

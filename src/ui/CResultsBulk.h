#pragma once

#include "CResultsChartData.h"
#include "CResultsListener.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "report/CRunRecorder.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <vector>

// A recorded run (a saved report's, or a device's of one) made into what the
// results window shows, on a thread other than the window's: the URLs in the
// order the run first used them, every request as the window keeps it, the
// chart's data (with the histogram's counts), the statistics and the
// verdict. The window then takes all of it in a few swaps
// (CResultsWindow::ShowWhole) rather than a million results one at a time.
// What it builds is what the window builds from the same run handed on
// live, request for request. One thread at a time.
class CResultsBulk {
public:
    using SPoint = CResultsListener::SPoint;

    // Requests [nFrom, nTo) of run, in the order they were made (the run
    // may still be growing past nTo: only those and their targets are read).
    void AddRequests(const CRecordedRun& run, std::size_t nFrom, std::size_t nTo);
    // Once every request was added: the run's start (named strScript), its
    // waits and its end, and the verdict on its requests.
    void Finish(const CRecordedRun& run, const QString& strScript);
    // The whole run at once; false when bCancel came first.
    bool Build(const CRecordedRun& run, const QString& strScript, const std::atomic<bool>& bCancel);

    CRunStartInfo start;
    QStringList urls;            // the run's URLs; a request's nUrl is a place in it
    std::vector<SPoint> points;  // every request, in the order they were made
    std::vector<std::size_t> allRows;  // 0, 1, ...: the request list's rows showing all of them
    // The chart's data, a line per URL; not built (bChart false) for more
    // URLs than the chart draws a line each for.
    CResultsChartData chart;
    bool bChart = true;
    CRunStatistics statistics;
    CRunVerdict verdict;
    std::vector<CCheckAliveResult> waits;
    CRunEndInfo end;
    // A fleet's devices joined: their names, and each request's device.
    QStringList fleetDevices;
    std::vector<int> vecDeviceOf;

private:
    std::vector<int> m_vecUrlOf;  // the run's target -> its URL's number; -1 not seen yet
    QHash<QString, int> m_hashUrls;
};

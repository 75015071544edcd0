#include "CFleetReport.h"

#include <QHash>


#include <algorithm>
#include <iterator>
#include <numeric>

QString CRecordedDevice::VerdictName() const
{
    switch (state) {
    case EState::ScriptError:
        return QStringLiteral("script-error");
    case EState::NotRun:
        return QStringLiteral("not-run");
    case EState::Ran:
        break;
    }
    return QString::fromLatin1(run.verdict.Name());
}

bool CRecordedFleet::IsPartial() const
{
    return std::any_of(devices.begin(), devices.end(), [](const CRecordedDevice& device) { return device.IsCutShort(); });
}

std::size_t CRecordedFleet::NotRunCount() const
{
    return std::size_t(std::count_if(devices.begin(), devices.end(), [](const CRecordedDevice& device) {
        return device.state == CRecordedDevice::EState::NotRun;
    }));
}

CRecordedRun JoinedRun(const CRecordedFleet& fleet, bool bByLine, std::vector<int>* pDeviceOf)
{
    std::vector<int> deviceOf;
    CRecordedRun joined;
    joined.start.strScript = fleet.strScript;
    joined.start.nThresholdMs = fleet.nThresholdMs;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRunStartInfo& start = device.run.start;
        if (device.run.bStarted && start.startedAt.isValid() &&
            (!joined.bStarted || start.startedAt < joined.start.startedAt)) {
            joined.bStarted = true;
            joined.start.startedAt = start.startedAt;
        }
    }
    QHash<QString, std::uint32_t> targets;
    QHash<QString, std::int32_t> reasons;
    joined.bEnded = true;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRecordedRun& run = device.run;
        if (device.state == CRecordedDevice::EState::Ran && !run.bEnded)
            joined.bEnded = false;
        const std::int64_t nShiftMs = joined.bStarted && run.bStarted && run.start.startedAt.isValid()
                                          ? joined.start.startedAt.msecsTo(run.start.startedAt)
                                          : 0;
        std::vector<std::uint32_t> targetMap;
        for (const CRecordedTarget& target : run.vecTargets) {
            CRecordedTarget joinedTarget = target;
            if (bByLine)
                joinedTarget.strUrl.clear();
            const QString strKey = target.strUrl + QChar(0) + target.strHost + QChar(0) + target.strPort;
            auto it = targets.constFind(strKey);
            if (bByLine) {
                targetMap.push_back(0);  // set per request: the line decides
                continue;
            }
            if (it == targets.constEnd()) {
                it = targets.insert(strKey, std::uint32_t(joined.vecTargets.size()));
                joined.vecTargets.push_back(joinedTarget);
            }
            targetMap.push_back(*it);
        }
        for (CRecordedRequest request : run.vecRequests) {
            if (bByLine) {
                const CRecordedTarget& target = run.vecTargets[request.nTarget];
                const QString strKey = QString::number(request.nLine);
                auto it = targets.constFind(strKey);
                if (it == targets.constEnd()) {
                    it = targets.insert(strKey, std::uint32_t(joined.vecTargets.size()));
                    CRecordedTarget lineTarget = target;
                    lineTarget.strUrl = QStringLiteral("line %1: %2").arg(request.nLine).arg(target.strTarget);
                    joined.vecTargets.push_back(lineTarget);
                }
                request.nTarget = *it;
            } else {
                request.nTarget = targetMap[request.nTarget];
            }
            if (request.nReason >= 0) {
                const QString& strReason = run.vecReasons[std::size_t(request.nReason)];
                auto it = reasons.constFind(strReason);
                if (it == reasons.constEnd()) {
                    it = reasons.insert(strReason, std::int32_t(joined.vecReasons.size()));
                    joined.vecReasons.push_back(strReason);
                }
                request.nReason = *it;
            }
            request.nAtMs += nShiftMs;
            joined.vecRequests.push_back(request);
            if (pDeviceOf)
                deviceOf.push_back(int(&device - fleet.devices.data()));
        }
        for (CCheckAliveResult wait : run.vecCheckAlives) {
            wait.nAtMs += nShiftMs;
            joined.vecCheckAlives.push_back(wait);
        }
    }
    if (pDeviceOf) {
        // The same order as the sort below, each request's device beside it.
        std::vector<std::size_t> order(joined.vecRequests.size());
        std::iota(order.begin(), order.end(), std::size_t(0));
        std::stable_sort(order.begin(), order.end(), [&joined](std::size_t a, std::size_t b) {
            return joined.vecRequests[a].nAtMs < joined.vecRequests[b].nAtMs;
        });
        std::vector<CRecordedRequest> sorted;
        sorted.reserve(order.size());
        pDeviceOf->clear();
        pDeviceOf->reserve(order.size());
        for (const std::size_t i : order) {
            sorted.push_back(joined.vecRequests[i]);
            pDeviceOf->push_back(deviceOf[i]);
        }
        joined.vecRequests.swap(sorted);
    }
    std::stable_sort(joined.vecRequests.begin(), joined.vecRequests.end(),
                     [](const CRecordedRequest& a, const CRecordedRequest& b) { return a.nAtMs < b.nAtMs; });
    joined.end.bComplete = !fleet.IsPartial();
    for (const CRecordedDevice& device : fleet.devices) {
        joined.end.nHttpMs += device.run.end.nHttpMs;
        joined.end.nApplicationMs = std::max(joined.end.nApplicationMs, device.run.end.nApplicationMs);
    }
    joined.verdict = fleet.verdict;
    joined.nExitCode = fleet.nExitCode;
    return joined;
}

CRunStatisticsSnapshot LineStatisticsOf(const CRecordedRun& joinedByLine, std::vector<int>* pLines)
{
    CRunStatisticsSnapshot snapshot = StatisticsOf(joinedByLine);
    QHash<QString, int> lineOf;
    for (const CRecordedRequest& request : joinedByLine.vecRequests)
        lineOf.insert(joinedByLine.vecTargets[request.nTarget].strUrl, request.nLine);
    std::stable_sort(snapshot.vecUrls.begin(), snapshot.vecUrls.end(),
                     [&lineOf](const CUrlStatistics& a, const CUrlStatistics& b) {
                         return lineOf.value(a.strUrl) < lineOf.value(b.strUrl);
                     });
    if (pLines != nullptr) {
        pLines->clear();
        for (const CUrlStatistics& line : snapshot.vecUrls)
            pLines->push_back(lineOf.value(line.strUrl));
    }
    return snapshot;
}

int WorstExitCode(const CRecordedFleet& fleet)
{
    int nExit = 0;
    for (const CRecordedDevice& device : fleet.devices) {
        // A device that never ran fails as a request not sent does (3).
        const int nDevice = device.state == CRecordedDevice::EState::ScriptError ? 2
                            : device.state == CRecordedDevice::EState::NotRun ? 3
                                                                               : device.run.nExitCode;
        if (nDevice == 0)
            continue;
        // 2 before 3 before 5 before 6 before 7; any other code (a report
        // not written, a signal) after them.
        const auto rank = [](int nCode) {
            return nCode == 2 || nCode == 3 || nCode == 5 || nCode == 6 || nCode == 7 ? nCode : 1000 + nCode;
        };
        if (nExit == 0 || rank(nDevice) < rank(nExit))
            nExit = nDevice;
    }
    return nExit;
}

void FinishFleet(CRecordedFleet& fleet)
{
    CRunVerdictSummary verdict;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRunVerdictSummary& one = device.run.verdict;
        if (!one.bPass || device.state != CRecordedDevice::EState::Ran)
            verdict.bPass = false;
        verdict.nRequests += one.nRequests;
        verdict.nFailed += one.nFailed;
        verdict.nUnanswered += one.nUnanswered;
        verdict.nSlow += one.nSlow;
        verdict.nErrorStatus += one.nErrorStatus;
        verdict.nCheckFailed += one.nCheckFailed;
        for (const CFailedRequest& failed : one.vecFirst)
            if (verdict.vecFirst.size() < std::size_t(CRunVerdictSummary::kFirstKept))
                verdict.vecFirst.push_back(failed);
    }
    fleet.nExitCode = WorstExitCode(fleet);
    verdict.nExitCode = fleet.nExitCode;
    fleet.verdict = verdict;
}

#include "FleetRecords.h"

#include <algorithm>

CRunRecord::SCopy MergeFleetRecords(const CFleetRunner& runner, std::vector<int>* pDeviceOf)
{
    CRunRecord::SCopy all;
    std::vector<std::pair<CRequestResult, int>> requests;  // and the device of each
    QDateTime first;
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        const QDateTime at = runner.StartedAt(i);
        if (at.isValid() && (!first.isValid() || at < first))
            first = at;
    }
    bool bEnded = true;
    bool bStopped = false;
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        if (!runner.StartedAt(i).isValid())
            continue;
        CRunRecord::SCopy run = runner.Record(i).Copy();
        const std::int64_t nShift = first.msecsTo(runner.StartedAt(i));
        if (requests.empty() && all.waits.empty())
            all.start = run.start;
        for (CRequestResult& result : run.requests) {
            result.nAtMs += nShift;
            requests.emplace_back(std::move(result), int(i));
        }
        for (CCheckAliveResult& wait : run.waits) {
            wait.nAtMs += nShift;
            all.waits.push_back(std::move(wait));
        }
        bEnded = bEnded && run.end.has_value();
        bStopped = bStopped || (run.end && run.end->bStopped);
    }
    std::stable_sort(requests.begin(), requests.end(),
                     [](const auto& a, const auto& b) { return a.first.nAtMs < b.first.nAtMs; });
    all.requests.reserve(requests.size());
    if (pDeviceOf != nullptr) {
        pDeviceOf->clear();
        pDeviceOf->reserve(requests.size());
    }
    for (auto& [result, nDevice] : requests) {
        all.requests.push_back(std::move(result));
        if (pDeviceOf != nullptr)
            pDeviceOf->push_back(nDevice);
    }
    std::stable_sort(all.waits.begin(), all.waits.end(),
                     [](const CCheckAliveResult& a, const CCheckAliveResult& b) { return a.nAtMs < b.nAtMs; });
    for (std::size_t i = 0; i < all.requests.size(); ++i)
        all.requests[i].nIndex = int(i + 1);
    for (std::size_t i = 0; i < all.waits.size(); ++i)
        all.waits[i].nIndex = int(i + 1);
    all.start.startedAt = first;
    if (bEnded && runner.Count() > 0 && !runner.IsActive()) {
        CRunEndInfo end;
        end.bStopped = bStopped;
        all.end = end;
    }
    return all;
}

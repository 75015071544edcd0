#pragma once

#include "RunResults.h"

#include <cstdint>

struct CRunContext;

// Hands a run's results, beside its log, to the context's listeners: the
// start, one record per request (numbered and judged here) and the end.
class CResultsHandOff {
public:
    explicit CResultsHandOff(CRunContext& context);

    // Whether anyone listens; without listeners no record need be made.
    bool Wanted() const;
    // Opens the run's results: records count from 1 again, and their times
    // from now (the opening line).
    void Start();
    // ms from the opening to nMonotonicMs (MonotonicMs()).
    std::int64_t SinceStartMs(std::int64_t nMonotonicMs) const { return nMonotonicMs - m_nOpenedMs; }
    // Numbers and judges the record, then hands it on.
    void Add(CRequestResult& result);
    // Numbers the wait's record, then hands it on.
    void AddCheckAlive(CCheckAliveResult& result);
    void End(const CRunEndInfo& info);

private:
    CRunContext& m_context;
    int m_nResults = 0;
    int m_nCheckAlives = 0;
    std::int64_t m_nOpenedMs = 0;
};

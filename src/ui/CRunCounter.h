#pragma once

#include "engine/RunResults.h"

#include <atomic>

// Counts a run's requests as its workers report them: the requests, the
// failed ones and the highest While pass. Any worker may report at any
// time (the devices of a fleet side by side); the window's thread reads the
// counts whenever it shows them. Nothing is queued to the window per request.
class CRunCounter : public IRunListener {
public:
    // Back to nothing counted; before a run starts.
    void Reset();

    void OnRequest(const CRequestResult& result) override;

    int Requests() const { return m_nRequests.load(std::memory_order_relaxed); }
    int Failures() const { return m_nFailures.load(std::memory_order_relaxed); }
    // The highest pass of a While block reported; 0 outside a block.
    int Pass() const { return m_nPass.load(std::memory_order_relaxed); }

private:
    std::atomic<int> m_nRequests{0};
    std::atomic<int> m_nFailures{0};
    std::atomic<int> m_nPass{0};
};

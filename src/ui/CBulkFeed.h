#pragma once

#include "CResultsBulk.h"
#include "report/CRunRecorder.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A run's requests handed from the thread that reads them to a thread that
// builds what the results window shows (CResultsBulk) while the reading
// goes on: the two overlap, on two cores where there are two. The reading
// thread feeds the run as read so far; each feeding copies only what is new
// (requests and their targets) under a lock, and the builder takes it in
// pieces.
class CBulkFeed {
public:
    explicit CBulkFeed(const std::atomic<bool>& bCancel);
    ~CBulkFeed();
    CBulkFeed(const CBulkFeed&) = delete;
    CBulkFeed& operator=(const CBulkFeed&) = delete;

    // Reading thread: requests [those fed before, nRequests) of run.
    void Feed(const CRecordedRun& run, std::size_t nRequests);
    // Reading thread, once the reading is over: waits until everything fed
    // is built and returns what was (null when nothing was fed or a cancel
    // came). Finish() is the caller's.
    std::shared_ptr<CResultsBulk> Take();

private:
    struct SPiece {
        std::vector<CRecordedTarget> targets;  // the run's targets new since the last piece
        std::vector<CRecordedRequest> requests;
    };

    void Build();

    const std::atomic<bool>& m_bCancel;
    std::size_t m_nFedRequests = 0;  // reading thread
    std::size_t m_nFedTargets = 0;   // reading thread
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<SPiece> m_pieces;  // guarded by m_mutex
    bool m_bOver = false;         // guarded by m_mutex
    std::vector<std::vector<CRecordedRequest>> m_spare;  // pieces' buffers to use again; guarded by m_mutex
    std::shared_ptr<CResultsBulk> m_pBulk;  // the builder's until it is joined
    std::thread m_builder;
};

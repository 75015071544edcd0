#include "CBulkFeed.h"

#include <algorithm>
#include <utility>

CBulkFeed::CBulkFeed(const std::atomic<bool>& bCancel) : m_bCancel(bCancel) {}

CBulkFeed::~CBulkFeed()
{
    {
        std::lock_guard lock(m_mutex);
        m_bOver = true;
    }
    m_wake.notify_one();
    if (m_builder.joinable())
        m_builder.join();
}

void CBulkFeed::Feed(const CRecordedRun& run, std::size_t nRequests)
{
    nRequests = std::min(nRequests, run.vecRequests.size());
    if (nRequests <= m_nFedRequests)
        return;
    SPiece piece;
    {
        // A buffer the builder is done with, rather than fresh memory.
        std::lock_guard lock(m_mutex);
        if (!m_spare.empty()) {
            piece.requests.swap(m_spare.back());
            m_spare.pop_back();
        }
    }
    piece.targets.assign(run.vecTargets.begin() + std::ptrdiff_t(std::min(m_nFedTargets, run.vecTargets.size())),
                         run.vecTargets.end());
    piece.requests.assign(run.vecRequests.begin() + std::ptrdiff_t(m_nFedRequests),
                          run.vecRequests.begin() + std::ptrdiff_t(nRequests));
    m_nFedTargets = run.vecTargets.size();
    m_nFedRequests = nRequests;
    {
        std::lock_guard lock(m_mutex);
        m_pieces.push_back(std::move(piece));
    }
    m_wake.notify_one();
    if (!m_builder.joinable()) {
        m_pBulk = std::make_shared<CResultsBulk>();
        // As many as the reader made room for.
        m_pBulk->points.reserve(run.vecRequests.capacity());
        m_pBulk->allRows.reserve(run.vecRequests.capacity());
        m_builder = std::thread([this] { Build(); });
    }
}

void CBulkFeed::Build()
{
    // The run as the builder knows it: every target so far, the last piece's requests.
    CRecordedRun run;
    for (;;) {
        SPiece piece;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bOver || !m_pieces.empty(); });
            if (m_pieces.empty())
                return;
            piece = std::move(m_pieces.front());
            m_pieces.pop_front();
        }
        if (m_bCancel.load(std::memory_order_relaxed))
            continue;
        run.vecTargets.insert(run.vecTargets.end(), std::make_move_iterator(piece.targets.begin()),
                              std::make_move_iterator(piece.targets.end()));
        run.vecRequests.swap(piece.requests);
        m_pBulk->AddRequests(run, 0, run.vecRequests.size());
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(run.vecRequests));
        run.vecRequests.clear();
    }
}

std::shared_ptr<CResultsBulk> CBulkFeed::Take()
{
    {
        std::lock_guard lock(m_mutex);
        m_bOver = true;
    }
    m_wake.notify_one();
    if (!m_builder.joinable())
        return nullptr;
    m_builder.join();
    if (m_bCancel.load(std::memory_order_relaxed))
        return nullptr;
    return std::move(m_pBulk);
}

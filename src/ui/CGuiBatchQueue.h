#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <cstddef>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <utility>

// Most entries one turn of a window's event loop carries out; the rest wait
// for the next turn.
inline constexpr int kGuiMaxEntriesPerTurn = 10000;

// Hands entries filed on any thread to the thread of an owning QObject, in
// the order they were filed. The owner's thread takes everything pending in
// one go (at most nMaxEntriesPerTurn per turn of its event loop, so painting
// and input keep going) and gives the batch to the handler. The queue is a
// member of its owner, so a pending turn cannot outlive it.
template <typename Entry>
class CGuiBatchQueue {
public:
    using BatchHandler = std::function<void(std::deque<Entry>& entries)>;

    CGuiBatchQueue(QObject& owner, BatchHandler handler, int nMaxEntriesPerTurn = kGuiMaxEntriesPerTurn)
        : m_owner(owner), m_handler(std::move(handler)), m_nMaxEntriesPerTurn(std::size_t(nMaxEntriesPerTurn))
    {
    }
    CGuiBatchQueue(const CGuiBatchQueue&) = delete;
    CGuiBatchQueue& operator=(const CGuiBatchQueue&) = delete;

    bool OnOwnerThread() const { return QThread::currentThread() == m_owner.thread(); }

    // Files entries: fileEntries(pending) runs under the queue's lock. On the
    // owner's thread everything pending is then carried out at once;
    // elsewhere a turn of the owner's event loop is scheduled for it.
    template <typename FileEntries>
    void Post(FileEntries&& fileEntries)
    {
        std::unique_lock lock(m_mutex);
        fileEntries(m_pending);
        if (OnOwnerThread()) {
            lock.unlock();
            Drain();
            return;
        }
        if (!m_bDrainScheduled) {
            m_bDrainScheduled = true;
            ScheduleTurn();
        }
    }

    // Carries out everything pending; owner's thread only.
    void Drain() { DrainSome(std::numeric_limits<std::size_t>::max()); }

private:
    void ScheduleTurn()
    {
        QMetaObject::invokeMethod(
            &m_owner, [this] { DrainSome(m_nMaxEntriesPerTurn); }, Qt::QueuedConnection);
    }

    void DrainSome(std::size_t nMaxEntries)
    {
        std::deque<Entry> entries;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.size() <= nMaxEntries) {
                entries.swap(m_pending);
                m_bDrainScheduled = false;
            } else {
                for (std::size_t i = 0; i < nMaxEntries; ++i) {
                    entries.push_back(std::move(m_pending.front()));
                    m_pending.pop_front();
                }
                // The flag stays set: the rest waits for the next turn.
                ScheduleTurn();
            }
        }
        if (!entries.empty())
            m_handler(entries);
    }

    QObject& m_owner;
    BatchHandler m_handler;
    const std::size_t m_nMaxEntriesPerTurn;
    std::mutex m_mutex;
    std::deque<Entry> m_pending;     // guarded by m_mutex
    bool m_bDrainScheduled = false;  // guarded by m_mutex
};

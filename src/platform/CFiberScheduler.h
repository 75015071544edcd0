#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CFiberLoop;

// Fibers on a few threads: one event loop per core (at least one), each new
// fiber on the next loop in turn. The blocking waits of the platform layer,
// called on such a fiber, switch to its loop instead of blocking the thread.
class CFiberScheduler {
public:
    // A spawned fiber, to be joined as a thread would be.
    class CTask {
    public:
        CTask() = default;
        bool Joinable() const { return m_pState != nullptr; }
        // Waits until the fiber's body returned and its stack is gone.
        void Join();

    private:
        friend class CFiberScheduler;
        struct SState {
            std::mutex mutex;
            std::condition_variable done;
            bool bDone = false;
        };
        std::shared_ptr<SState> m_pState;
    };

    // nThreads 0: one per core the system reports, at least one.
    explicit CFiberScheduler(std::size_t nThreads = 0);
    // Waits for every fiber to end, then for the threads.
    ~CFiberScheduler();
    CFiberScheduler(const CFiberScheduler&) = delete;
    CFiberScheduler& operator=(const CFiberScheduler&) = delete;

    // Any thread (but not one of this scheduler's fibers' loops' callbacks).
    CTask Spawn(std::function<void()> body);
    std::size_t ThreadCount() const { return m_vecLoops.size(); }

private:
    std::vector<std::unique_ptr<CFiberLoop>> m_vecLoops;
    std::vector<std::thread> m_vecThreads;
    std::mutex m_mutex;
    std::size_t m_nNext = 0;  // guarded by m_mutex
};

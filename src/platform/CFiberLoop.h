#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <unordered_map>
#include <vector>

class CFiber;

// One thread's event loop for fibers: an epoll set for the descriptors they
// wait on, a heap of their deadlines, and an eventfd through which other
// threads hand in new fibers and wake-ups. Run() is the thread's body.
class CFiberLoop {
public:
    CFiberLoop();
    ~CFiberLoop();
    CFiberLoop(const CFiberLoop&) = delete;
    CFiberLoop& operator=(const CFiberLoop&) = delete;

    // Any thread: runs body on a new fiber of this loop; onDone is called on
    // the loop's thread once the body returned and its stack is gone.
    void Spawn(std::function<void()> body, std::function<void()> onDone);
    // Any thread: Run() returns once no fiber is left.
    void Quit();
    // Any thread: makes the fiber's wait with that token end (woken), unless
    // the wait already ended.
    void Wake(std::uint64_t nFiber, std::uint64_t nToken);

    void Run();

    // On a fiber of this loop. A new token for the wait about to begin.
    std::uint64_t BeginWait(CFiber& fiber);
    // Waits until fd reports one of nEvents (EPOLLIN / EPOLLOUT), nCancelFd
    // (when >= 0) becomes readable, or nDeadlineUs (MonotonicUs) passes.
    // A descriptor is waited on by one fiber of a loop at a time.
    // 1 with *pRevents (poll's bits) when fd is ready, 0 when the time ran
    // out, -1 with errno (ECANCELED when cancelled).
    int WaitFd(CFiber& fiber, int fd, std::uint32_t nEvents, int nCancelFd, std::int64_t nDeadlineUs,
               short* pRevents);
    // Parks the fiber until Wake(…, nToken) or nDeadlineUs; true when woken.
    bool Park(CFiber& fiber, std::uint64_t nToken, std::int64_t nDeadlineUs);

private:
    struct STimer {
        std::int64_t nDeadlineUs;
        std::uint64_t nFiber;
        std::uint64_t nToken;
        bool operator>(const STimer& other) const { return nDeadlineUs > other.nDeadlineUs; }
    };
    struct SNewFiber {
        std::function<void()> body;
        std::function<void()> onDone;
    };
    struct SEntry {
        std::unique_ptr<CFiber> pFiber;
        std::function<void()> onDone;
    };

    void Notify();
    void TakePosted();
    // bAnswered: a descriptor it waited on reported (run before the others).
    void MakeReady(CFiber& fiber, bool bAnswered = false);
    void RunOne(std::uint64_t nFiber);
    void RunReady();
    void TakeEvents(int nTimeoutMs);
    void TakeExpiredTimers();
    CFiber* Find(std::uint64_t nFiber);
    int TimeoutMs() const;
    // Arms fd for one report of nEvents to this fiber; false with errno.
    bool Arm(CFiber& fiber, int fd, std::uint32_t nEvents);
    // Switches from the fiber to the loop with a deadline on the heap.
    void SuspendUntil(CFiber& fiber, std::int64_t nDeadlineUs);

    int m_nEpoll = -1;
    int m_nWakeFd = -1;

    std::mutex m_postedMutex;  // held only to hand things over, never across a switch
    std::vector<SNewFiber> m_vecPostedFibers;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_vecPostedWakes;
    bool m_bQuit = false;

    // The loop's thread only.
    std::uint64_t m_nNextId = 1;
    std::uint64_t m_nNextToken = 1;
    std::unordered_map<std::uint64_t, SEntry> m_fibers;
    std::queue<std::uint64_t> m_ready;
    std::queue<std::uint64_t> m_answered;
    std::priority_queue<STimer, std::vector<STimer>, std::greater<STimer>> m_timers;
};

// Sleeps nMs: on a fiber its loop runs others meanwhile; on a plain thread
// the thread sleeps.
void FiberAwareSleepMs(int nMs);

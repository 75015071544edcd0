#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <setjmp.h>
#include <ucontext.h>

class CFiberLoop;

// A function running on a stack of its own, switched to and from by the one
// event loop thread that owns it (CFiberLoop). A fiber is made, run and
// destroyed on that thread and never moves to another. The waits of the platform layer (sockets, events, sleeps) ask
// Current() and, on a fiber, hand the wait to its loop instead of blocking
// the thread.
class CFiber {
public:
    // Wait kinds as the loop sees them.
    enum class EWait { None, Fd, Event };

    CFiber(CFiberLoop& loop, std::uint64_t nId, std::function<void()> body);
    ~CFiber();
    CFiber(const CFiber&) = delete;
    CFiber& operator=(const CFiber&) = delete;

    // The fiber running on the calling thread; nullptr on a plain thread (or
    // in a loop between fibers).
    static CFiber* Current();

    // Bytes of each fiber's stack, without its guard page.
    static constexpr std::size_t kStackBytes = 256 * 1024;

    // From the loop: runs the fiber until it suspends or its body returns.
    void Resume();
    // From the fiber itself: back to its loop, until the loop resumes it.
    void Suspend();

    bool IsDone() const { return m_bDone; }
    CFiberLoop& Loop() const { return m_loop; }
    std::uint64_t Id() const { return m_nId; }
    // Bytes of the stack ever touched (pages the kernel had to provide).
    std::size_t StackTouchedBytes() const;

    // Per-fiber copies of what the socket layer keeps per thread: the
    // fibers of one thread must not see each other's.
    int m_nSocketError = 0;
    int m_nCancelFd = -1;

    // The wait in progress, kept by the loop (its thread only).
    EWait m_eWait = EWait::None;
    std::uint64_t m_nToken = 0;    // tells this wait's wake-ups from stale ones
    bool m_bQueued = false;        // in the loop's ready queue
    int m_nWaitFd = -1;            // Fd: the descriptor waited on
    int m_nWaitCancelFd = -1;      // Fd: the cancel descriptor watched, or -1
    std::uint32_t m_nRevents = 0;  // Fd: the descriptor's events
    bool m_bCancelled = false;     // Fd: the cancel descriptor became readable
    bool m_bWoken = false;         // Event: a Set reached it

private:
    static void Entry();

    CFiberLoop& m_loop;
    std::uint64_t m_nId;
    std::function<void()> m_body;
    void* m_pMapping = nullptr;
    std::size_t m_nMappingBytes = 0;
    ucontext_t m_context{};
    ucontext_t m_loopContext{};
    jmp_buf m_fiberJump{};  // where the fiber goes on (plain builds)
    jmp_buf m_loopJump{};   // where the loop goes on (plain builds)
    bool m_bStarted = false;
    bool m_bDone = false;
    int m_nSavedErrno = 0;
    // Sanitizers' view of the switch (unused in plain builds).
    void* m_pFakeStack = nullptr;
    const void* m_pLoopStackBottom = nullptr;
    std::size_t m_nLoopStackBytes = 0;
    void* m_pTsanFiber = nullptr;
    void* m_pTsanLoop = nullptr;
};

#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

class CFiberLoop;

// A manual-reset event: Set signals it until Reset. Events built on the same
// group can be waited on together with WaitAny.
class CManualResetEvent {
public:
    struct Group {
        // A fiber waiting on the group: Set wakes it through its loop.
        struct SFiberWaiter {
            CFiberLoop* pLoop;
            std::uint64_t nFiber;
            std::uint64_t nToken;
        };
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<SFiberWaiter> fiberWaiters;  // guarded by mutex
    };

    explicit CManualResetEvent(std::shared_ptr<Group> group = std::make_shared<Group>());
    CManualResetEvent(const CManualResetEvent&) = delete;
    CManualResetEvent& operator=(const CManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event is signalled within nTimeoutMs (at once when it
    // already is); false when the time ran out.
    bool Wait(int nTimeoutMs) const;

    // Waits until one of the events (all of one group) is signalled; returns
    // its index in the list, or -1 when nTimeoutMs ran out. On a fiber the
    // wait goes to the fiber's loop; a Set from any thread ends it.
    static int WaitAny(std::initializer_list<const CManualResetEvent*> events, int nTimeoutMs);

    const std::shared_ptr<Group>& GetGroup() const { return m_group; }

private:
    std::shared_ptr<Group> m_group;
    bool m_bSignalled = false;  // guarded by m_group->mutex
};

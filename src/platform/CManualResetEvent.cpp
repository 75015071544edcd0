#include "CManualResetEvent.h"

#include "CFiber.h"
#include "CFiberLoop.h"
#include "MonotonicClock.h"

#include <algorithm>
#include <cassert>
#include <chrono>

CManualResetEvent::CManualResetEvent(std::shared_ptr<Group> group) : m_group(std::move(group)) {}

void CManualResetEvent::Set()
{
    {
        std::lock_guard lock(m_group->mutex);
        m_bSignalled = true;
        // Handed to the loops under the group's lock: a fiber takes itself
        // off this list under it too, so none is woken after it ended.
        for (const Group::SFiberWaiter& waiter : m_group->fiberWaiters)
            waiter.pLoop->Wake(waiter.nFiber, waiter.nToken);
        m_group->fiberWaiters.clear();
    }
    m_group->changed.notify_all();
}

void CManualResetEvent::Reset()
{
    std::lock_guard lock(m_group->mutex);
    m_bSignalled = false;
}

bool CManualResetEvent::IsSet() const
{
    std::lock_guard lock(m_group->mutex);
    return m_bSignalled;
}

bool CManualResetEvent::Wait(int nTimeoutMs) const
{
    return WaitAny({this}, nTimeoutMs) == 0;
}

int CManualResetEvent::WaitAny(std::initializer_list<const CManualResetEvent*> events, int nTimeoutMs)
{
    assert(events.size() > 0);
    Group& group = *(*events.begin())->m_group;
    auto signalled = [&events]() {
        int nIndex = 0;
        for (const CManualResetEvent* event : events) {
            if (event->m_bSignalled)
                return nIndex;
            ++nIndex;
        }
        return -1;
    };
    std::unique_lock lock(group.mutex);
    if (CFiber* pFiber = CFiber::Current(); pFiber && nTimeoutMs > 0) {
        const std::int64_t nDeadlineUs = MonotonicUs() + std::int64_t(nTimeoutMs) * 1000;
        for (;;) {
            const int nIndex = signalled();
            if (nIndex >= 0 || MonotonicUs() >= nDeadlineUs)
                return nIndex;
            CFiberLoop& loop = pFiber->Loop();
            const std::uint64_t nToken = loop.BeginWait(*pFiber);
            group.fiberWaiters.push_back({&loop, pFiber->Id(), nToken});
            // Never switch with the lock held: the loop runs other fibers.
            lock.unlock();
            loop.Park(*pFiber, nToken, nDeadlineUs);
            lock.lock();
            std::erase_if(group.fiberWaiters, [pFiber](const Group::SFiberWaiter& waiter) {
                return waiter.nFiber == pFiber->Id() && waiter.pLoop == &pFiber->Loop();
            });
        }
    }
    int nIndex = -1;
    group.changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs < 0 ? 0 : nTimeoutMs),
                           [&]() { return (nIndex = signalled()) >= 0; });
    return nIndex;
}

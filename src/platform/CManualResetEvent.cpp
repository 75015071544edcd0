#include "CManualResetEvent.h"

#include <cassert>
#include <chrono>

CManualResetEvent::CManualResetEvent(std::shared_ptr<Group> group) : m_group(std::move(group)) {}

void CManualResetEvent::Set()
{
    {
        std::lock_guard lock(m_group->mutex);
        m_bSignalled = true;
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
    int nIndex = -1;
    group.changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs < 0 ? 0 : nTimeoutMs),
                           [&]() { return (nIndex = signalled()) >= 0; });
    return nIndex;
}

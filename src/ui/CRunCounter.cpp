#include "CRunCounter.h"

void CRunCounter::Reset()
{
    m_nRequests.store(0, std::memory_order_relaxed);
    m_nFailures.store(0, std::memory_order_relaxed);
    m_nPass.store(0, std::memory_order_relaxed);
}

void CRunCounter::OnRequest(const CRequestResult& result)
{
    m_nRequests.fetch_add(1, std::memory_order_relaxed);
    if (!result.bPass)
        m_nFailures.fetch_add(1, std::memory_order_relaxed);
    int nPass = m_nPass.load(std::memory_order_relaxed);
    while (result.nPass > nPass && !m_nPass.compare_exchange_weak(nPass, result.nPass, std::memory_order_relaxed)) {
    }
}

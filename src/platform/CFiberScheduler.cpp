#include "CFiberScheduler.h"

#include "CFiberLoop.h"

void CFiberScheduler::CTask::Join()
{
    if (!m_pState)
        return;
    std::unique_lock lock(m_pState->mutex);
    m_pState->done.wait(lock, [this] { return m_pState->bDone; });
    lock.unlock();
    m_pState.reset();
}

CFiberScheduler::CFiberScheduler(std::size_t nThreads)
{
    if (nThreads == 0)
        nThreads = std::thread::hardware_concurrency();
    if (nThreads == 0)
        nThreads = 1;
    for (std::size_t i = 0; i < nThreads; ++i)
        m_vecLoops.push_back(std::make_unique<CFiberLoop>());
    for (auto& pLoop : m_vecLoops)
        m_vecThreads.emplace_back([pLoop = pLoop.get()] { pLoop->Run(); });
}

CFiberScheduler::~CFiberScheduler()
{
    for (auto& pLoop : m_vecLoops)
        pLoop->Quit();
    for (std::thread& thread : m_vecThreads)
        thread.join();
}

CFiberScheduler::CTask CFiberScheduler::Spawn(std::function<void()> body)
{
    CTask task;
    task.m_pState = std::make_shared<CTask::SState>();
    CFiberLoop* pLoop = nullptr;
    {
        std::lock_guard lock(m_mutex);
        pLoop = m_vecLoops[m_nNext].get();
        m_nNext = (m_nNext + 1) % m_vecLoops.size();
    }
    pLoop->Spawn(std::move(body), [pState = task.m_pState] {
        {
            std::lock_guard lock(pState->mutex);
            pState->bDone = true;
        }
        pState->done.notify_all();
    });
    return task;
}

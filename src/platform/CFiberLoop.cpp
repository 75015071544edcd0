#include "CFiberLoop.h"

#include "CFiber.h"
#include "MonotonicClock.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <poll.h>

#include <chrono>
#include <thread>

namespace {

// epoll's data of the loop's own eventfd. A fiber's descriptor carries the
// fiber's id (from 1) in the high half and the descriptor in the low half,
// so that a report left armed from an earlier wait is told from the wait
// in progress.
constexpr std::uint64_t kWakeKey = 0;

std::uint64_t FdKey(std::uint64_t nFiber, int fd)
{
    return (nFiber << 32) | static_cast<std::uint32_t>(fd);
}

// The descriptor reports for the epoll set; poll's bits have the same values.
static_assert(EPOLLIN == POLLIN && EPOLLOUT == POLLOUT && EPOLLERR == POLLERR && EPOLLHUP == POLLHUP);

}  // namespace

CFiberLoop::CFiberLoop()
    : m_nEpoll(epoll_create1(EPOLL_CLOEXEC)), m_nWakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_nEpoll < 0 || m_nWakeFd < 0)
        std::abort();  // out of descriptors before any device ran: nothing to run on
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeKey;
    epoll_ctl(m_nEpoll, EPOLL_CTL_ADD, m_nWakeFd, &event);
}

CFiberLoop::~CFiberLoop()
{
    close(m_nWakeFd);
    close(m_nEpoll);
}

void CFiberLoop::Notify()
{
    const std::uint64_t nOne = 1;
    (void)!write(m_nWakeFd, &nOne, sizeof nOne);
}

void CFiberLoop::Spawn(std::function<void()> body, std::function<void()> onDone)
{
    {
        std::lock_guard lock(m_postedMutex);
        m_vecPostedFibers.push_back({std::move(body), std::move(onDone)});
    }
    Notify();
}

void CFiberLoop::Quit()
{
    {
        std::lock_guard lock(m_postedMutex);
        m_bQuit = true;
    }
    Notify();
}

void CFiberLoop::Wake(std::uint64_t nFiber, std::uint64_t nToken)
{
    {
        std::lock_guard lock(m_postedMutex);
        m_vecPostedWakes.emplace_back(nFiber, nToken);
    }
    Notify();
}

void CFiberLoop::Run()
{
    for (;;) {
        TakePosted();
        RunReady();
        {
            std::lock_guard lock(m_postedMutex);
            if (m_bQuit && m_fibers.empty() && m_vecPostedFibers.empty())
                return;
        }
        TakeEvents(TimeoutMs());
        TakeExpiredTimers();
    }
}

void CFiberLoop::TakePosted()
{
    std::vector<SNewFiber> vecFibers;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> vecWakes;
    {
        std::lock_guard lock(m_postedMutex);
        vecFibers.swap(m_vecPostedFibers);
        vecWakes.swap(m_vecPostedWakes);
    }
    for (SNewFiber& posted : vecFibers) {
        const std::uint64_t nId = m_nNextId++;
        auto pFiber = std::make_unique<CFiber>(*this, nId, std::move(posted.body));
        CFiber& fiber = *pFiber;
        m_fibers.emplace(nId, SEntry{std::move(pFiber), std::move(posted.onDone)});
        MakeReady(fiber);
    }
    for (const auto& [nFiber, nToken] : vecWakes) {
        CFiber* pFiber = Find(nFiber);
        if (pFiber && pFiber->m_eWait == CFiber::EWait::Event && pFiber->m_nToken == nToken) {
            pFiber->m_bWoken = true;
            MakeReady(*pFiber);
        }
    }
}

CFiber* CFiberLoop::Find(std::uint64_t nFiber)
{
    const auto it = m_fibers.find(nFiber);
    return it == m_fibers.end() ? nullptr : it->second.pFiber.get();
}

void CFiberLoop::MakeReady(CFiber& fiber, bool bAnswered)
{
    if (fiber.m_bQueued)
        return;
    fiber.m_bQueued = true;
    (bAnswered ? m_answered : m_ready).push(fiber.Id());
}

void CFiberLoop::RunOne(std::uint64_t nId)
{
    const auto it = m_fibers.find(nId);
    if (it == m_fibers.end())
        return;
    CFiber& fiber = *it->second.pFiber;
    fiber.m_bQueued = false;
    fiber.Resume();
    if (fiber.IsDone()) {
        std::function<void()> onDone = std::move(it->second.onDone);
        m_fibers.erase(it);
        if (onDone)
            onDone();
    }
}

void CFiberLoop::RunReady()
{
    // A fiber whose descriptor reported goes before the others: it is timing
    // an answer, and every fiber run before it adds to that time. Between
    // the others the loop looks at the descriptors again now and then, so
    // that a round of many devices starting their requests together does
    // not hold back the answers that came meanwhile. Of the others, only
    // those ready now run in this round.
    constexpr std::int64_t kLookEveryUs = 200;
    std::int64_t nLookedUs = MonotonicUs();
    for (std::size_t n = m_ready.size();;) {
        while (!m_answered.empty()) {
            const std::uint64_t nId = m_answered.front();
            m_answered.pop();
            RunOne(nId);
        }
        if (n == 0)
            return;
        --n;
        const std::uint64_t nId = m_ready.front();
        m_ready.pop();
        RunOne(nId);
        if (n > 0 && MonotonicUs() - nLookedUs >= kLookEveryUs) {
            TakeEvents(0);
            nLookedUs = MonotonicUs();
        }
    }
}

int CFiberLoop::TimeoutMs() const
{
    if (!m_ready.empty() || !m_answered.empty())
        return 0;
    if (m_timers.empty())
        return -1;
    const std::int64_t nLeftUs = m_timers.top().nDeadlineUs - MonotonicUs();
    if (nLeftUs <= 0)
        return 0;
    // Rounded up: a wait never ends before its deadline.
    const std::int64_t nMs = (nLeftUs + 999) / 1000;
    return nMs > 24 * 3600 * 1000 ? 24 * 3600 * 1000 : static_cast<int>(nMs);
}

void CFiberLoop::TakeEvents(int nTimeoutMs)
{
    epoll_event events[1024];
    const int n = epoll_wait(m_nEpoll, events, 1024, nTimeoutMs);
    for (int i = 0; i < n; ++i) {
        const std::uint64_t nKey = events[i].data.u64;
        if (nKey == kWakeKey) {
            std::uint64_t nCount = 0;
            (void)!read(m_nWakeFd, &nCount, sizeof nCount);
            continue;
        }
        CFiber* pFiber = Find(nKey >> 32);
        if (!pFiber || pFiber->m_eWait != CFiber::EWait::Fd)
            continue;
        const int fd = static_cast<int>(nKey & 0xFFFFFFFFu);
        if (fd == pFiber->m_nWaitFd)
            pFiber->m_nRevents |= events[i].events;
        else if (fd == pFiber->m_nWaitCancelFd)
            pFiber->m_bCancelled = true;
        else
            continue;  // armed by an earlier wait of this fiber
        MakeReady(*pFiber, true);
    }
    TakePosted();
}

void CFiberLoop::TakeExpiredTimers()
{
    const std::int64_t nNowUs = MonotonicUs();
    while (!m_timers.empty() && m_timers.top().nDeadlineUs <= nNowUs) {
        const STimer timer = m_timers.top();
        m_timers.pop();
        CFiber* pFiber = Find(timer.nFiber);
        if (pFiber && pFiber->m_eWait != CFiber::EWait::None && pFiber->m_nToken == timer.nToken)
            MakeReady(*pFiber);
    }
}

std::uint64_t CFiberLoop::BeginWait(CFiber& fiber)
{
    fiber.m_nToken = m_nNextToken++;
    return fiber.m_nToken;
}

void CFiberLoop::SuspendUntil(CFiber& fiber, std::int64_t nDeadlineUs)
{
    m_timers.push({nDeadlineUs, fiber.Id(), fiber.m_nToken});
    fiber.Suspend();
    fiber.m_eWait = CFiber::EWait::None;
    // Later reports for this wait are stale.
    fiber.m_nToken = m_nNextToken++;
}

bool CFiberLoop::Arm(CFiber& fiber, int fd, std::uint32_t nEvents)
{
    // One report per arming; a descriptor stays in the set until it is
    // closed, so the next wait on it only arms it again.
    epoll_event event{};
    event.events = nEvents | EPOLLONESHOT;
    event.data.u64 = FdKey(fiber.Id(), fd);
    if (epoll_ctl(m_nEpoll, EPOLL_CTL_MOD, fd, &event) == 0)
        return true;
    return errno == ENOENT && epoll_ctl(m_nEpoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

int CFiberLoop::WaitFd(CFiber& fiber, int fd, std::uint32_t nEvents, int nCancelFd, std::int64_t nDeadlineUs,
                       short* pRevents)
{
    BeginWait(fiber);
    if (!Arm(fiber, fd, nEvents)) {
        if (errno != EBADF)
            return -1;
        // As poll reports a descriptor that is not open.
        *pRevents = POLLNVAL;
        return 1;
    }
    if (nCancelFd >= 0 && !Arm(fiber, nCancelFd, EPOLLIN))
        return -1;
    fiber.m_eWait = CFiber::EWait::Fd;
    fiber.m_nWaitFd = fd;
    fiber.m_nWaitCancelFd = nCancelFd;
    fiber.m_nRevents = 0;
    fiber.m_bCancelled = false;
    SuspendUntil(fiber, nDeadlineUs);
    fiber.m_nWaitFd = -1;
    fiber.m_nWaitCancelFd = -1;
    if (fiber.m_bCancelled) {
        errno = ECANCELED;
        return -1;
    }
    if (fiber.m_nRevents != 0) {
        *pRevents = static_cast<short>(fiber.m_nRevents);
        return 1;
    }
    // The deadline passed. A busy loop may not have taken every report of the
    // kernel yet: as poll would, look once more before calling it a time-out.
    pollfd pfds[2] = {{fd, static_cast<short>(nEvents), 0}, {nCancelFd, POLLIN, 0}};
    const int n = poll(pfds, nCancelFd >= 0 ? 2 : 1, 0);
    if (n > 0 && nCancelFd >= 0 && (pfds[1].revents & POLLIN)) {
        errno = ECANCELED;
        return -1;
    }
    if (n > 0 && pfds[0].revents != 0) {
        *pRevents = pfds[0].revents;
        return 1;
    }
    return 0;
}

bool CFiberLoop::Park(CFiber& fiber, std::uint64_t nToken, std::int64_t nDeadlineUs)
{
    if (fiber.m_nToken != nToken)
        return false;
    fiber.m_eWait = CFiber::EWait::Event;
    fiber.m_bWoken = false;
    SuspendUntil(fiber, nDeadlineUs);
    return fiber.m_bWoken;
}

void FiberAwareSleepMs(int nMs)
{
    CFiber* pFiber = CFiber::Current();
    if (!pFiber) {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
        return;
    }
    const std::int64_t nDeadlineUs = MonotonicUs() + std::int64_t(nMs) * 1000;
    CFiberLoop& loop = pFiber->Loop();
    while (MonotonicUs() < nDeadlineUs)
        loop.Park(*pFiber, loop.BeginWait(*pFiber), nDeadlineUs);
}

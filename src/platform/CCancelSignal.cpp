#include "CCancelSignal.h"

#include "Sockets.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CCancelSignal::CCancelSignal() : m_nFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CCancelSignal::~CCancelSignal()
{
    if (m_nFd >= 0)
        close(m_nFd);
}

void CCancelSignal::Raise()
{
    const std::uint64_t nOne = 1;
    (void)!write(m_nFd, &nOne, sizeof nOne);
}

void CCancelSignal::Lower()
{
    std::uint64_t nCount = 0;
    (void)!read(m_nFd, &nCount, sizeof nCount);
}

void CCancelSignal::WatchOnThisThread(const CCancelSignal* pSignal)
{
    SocketSetThreadCancelFd(pSignal ? pSignal->m_nFd : -1);
}

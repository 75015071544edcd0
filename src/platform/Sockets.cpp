#include "Sockets.h"

#include "CFiber.h"
#include "CFiberLoop.h"
#include "MonotonicClock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<int> g_nStartupCount{0};
thread_local int t_nThreadLastError = 0;
thread_local int t_nThreadCancelFd = -1;

// The last error and the cancel descriptor belong to the caller: the thread,
// or the fiber when one runs (the fibers of one thread each have their own).
int& LastErrorSlot()
{
    CFiber* pFiber = CFiber::Current();
    return pFiber ? pFiber->m_nSocketError : t_nThreadLastError;
}

int CancelFd()
{
    const CFiber* pFiber = CFiber::Current();
    return pFiber ? pFiber->m_nCancelFd : t_nThreadCancelFd;
}

int Fail(int nError)
{
    LastErrorSlot() = nError;
    return SOCKET_ERROR;
}

// PollFor on a fiber: its loop watches the descriptor and the cancel
// descriptor while other fibers run.
int FiberPollFor(CFiber& fiber, SOCKET s, short nEvents, std::int64_t nWaitNs, short* pRevents)
{
    const std::int64_t nDeadlineUs = MonotonicUs() + (nWaitNs + 999) / 1000;
    short nRevents = 0;
    const int n = fiber.Loop().WaitFd(fiber, s, static_cast<std::uint32_t>(nEvents), fiber.m_nCancelFd, nDeadlineUs,
                                      &nRevents);
    if (n < 0)
        return Fail(errno);
    if (pRevents)
        *pRevents = nRevents;
    return n;
}

bool IsHostNameText(const QByteArray& host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const char c : host) {
        const bool bOk = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_';
        if (!bOk)
            return false;
    }
    return true;
}

// poll on one descriptor for the given events, restarting after signals with
// what is left of the wait. nWaitMs < 0 is not used: every wait is bounded.
// The thread's cancel descriptor, when set, ends the wait with ECANCELED.
int PollFor(SOCKET s, short nEvents, std::int64_t nWaitNs, short* pRevents)
{
    if (CFiber* pFiber = CFiber::Current(); pFiber && nWaitNs > 0)
        return FiberPollFor(*pFiber, s, nEvents, nWaitNs, pRevents);
    const int nCancelFd = CancelFd();
    const std::int64_t nDeadlineMs = MonotonicMs() + nWaitNs / 1000000 + 1;
    std::int64_t nLeftNs = nWaitNs;
    for (;;) {
        pollfd pfds[2] = {{s, nEvents, 0}, {nCancelFd, POLLIN, 0}};
        timespec ts{static_cast<time_t>(nLeftNs / 1000000000), static_cast<long>(nLeftNs % 1000000000)};
        const int n = ppoll(pfds, nCancelFd >= 0 ? 2 : 1, &ts, nullptr);
        if (n > 0 && nCancelFd >= 0 && (pfds[1].revents & POLLIN))
            return Fail(ECANCELED);
        if (n >= 0) {
            if (pRevents)
                *pRevents = pfds[0].revents;
            return n;
        }
        if (errno != EINTR)
            return Fail(errno);
        nLeftNs = (nDeadlineMs - MonotonicMs()) * 1000000;
        if (nLeftNs < 0)
            nLeftNs = 0;
    }
}

// The arrival time a received message's control data carries (the kernel's
// wall-clock stamp), moved to the monotonic clock by the two clocks' readings
// now: a wall clock stepped since the arrival cannot put it after now.
std::int64_t ArrivalUs(msghdr& message)
{
    for (cmsghdr* p = CMSG_FIRSTHDR(&message); p != nullptr; p = CMSG_NXTHDR(&message, p)) {
        if (p->cmsg_level != SOL_SOCKET || p->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(p), sizeof stamp);
        timespec wallNow{};
        clock_gettime(CLOCK_REALTIME, &wallNow);
        const std::int64_t nNowUs = MonotonicUs();
        const std::int64_t nAgeNs = (static_cast<std::int64_t>(wallNow.tv_sec) - stamp.tv_sec) * 1000000000
            + (static_cast<std::int64_t>(wallNow.tv_nsec) - stamp.tv_nsec);
        return nNowUs - std::max<std::int64_t>(nAgeNs / 1000, 0);
    }
    return -1;
}

// The kernel stamps arriving packets only while some socket asks for it, and
// turns stamping on a moment after the first one does (deferred work), off
// again once the last one is closed. A socket that asks for it for the
// process's whole life keeps it on from the first user on, so connections
// made and closed one after the other do not each start without it.
void KeepArrivalTimesOn()
{
    static const int s_nKeeper = [] {
        const int nFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int nOn = 1;
        if (nFd >= 0)
            setsockopt(nFd, SOL_SOCKET, SO_TIMESTAMPNS, &nOn, sizeof nOn);
        return nFd;
    }();
    static_cast<void>(s_nKeeper);
}

// After a send on a fiber found no room: true once there is room, within
// the socket's send time-out; false with errno EAGAIN when the time ran out
// or the socket does not block (as the blocking send would have said).
bool WaitForSendRoom(CFiber& fiber, SOCKET s)
{
    const int nFlags = fcntl(s, F_GETFL, 0);
    if (nFlags < 0 || (nFlags & O_NONBLOCK)) {
        errno = EAGAIN;
        return false;
    }
    timeval tv{};
    socklen_t nLen = sizeof tv;
    getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, &nLen);
    std::int64_t nWaitUs = static_cast<std::int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
    if (nWaitUs <= 0)
        nWaitUs = std::int64_t(365) * 24 * 3600 * 1000000;  // no time-out set: the send waits as long as it takes
    short nRevents = 0;
    const int n = fiber.Loop().WaitFd(fiber, s, POLLOUT, fiber.m_nCancelFd, MonotonicUs() + nWaitUs, &nRevents);
    if (n == 0)
        errno = EAGAIN;
    return n > 0;
}

} // namespace

int SocketStartup()
{
    KeepArrivalTimesOn();
    ++g_nStartupCount;
    return 0;
}

int SocketCleanup()
{
    int n = g_nStartupCount.load();
    while (n > 0 && !g_nStartupCount.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0 ? 0 : Fail(EINVAL);
}

int SocketStartupCount()
{
    return g_nStartupCount.load();
}

int SocketLastError()
{
    return LastErrorSlot();
}

bool SocketResolveIPv4(const QByteArray& host, in_addr* pAddress)
{
    const QByteArray text = host.left(host.indexOf('\0') < 0 ? host.size() : host.indexOf('\0'));
    if (inet_pton(AF_INET, text.constData(), pAddress) == 1)
        return true;
    if (!IsHostNameText(text)) {
        LastErrorSlot() = EINVAL;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    const int nError = getaddrinfo(text.constData(), nullptr, &hints, &pResult);
    if (nError != 0 || !pResult) {
        LastErrorSlot() = nError == EAI_SYSTEM ? errno : EHOSTUNREACH;
        return false;
    }
    bool bFound = false;
    for (const addrinfo* p = pResult; p; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addr && p->ai_addrlen >= sizeof(sockaddr_in)) {
            *pAddress = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr;
            bFound = true;
            break;
        }
    }
    freeaddrinfo(pResult);
    if (!bFound)
        LastErrorSlot() = EHOSTUNREACH;
    return bFound;
}

SOCKET SocketCreateTcp()
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        LastErrorSlot() = errno;
        return INVALID_SOCKET;
    }
    return s;
}

void SocketSetAbortiveClose(SOCKET s)
{
    linger lg{};
    lg.l_onoff = 1;
    lg.l_linger = 0;
    setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
}

void SocketSetSendTimeout(SOCKET s, int nTimeoutMs)
{
    timeval tv{};
    tv.tv_sec = nTimeoutMs / 1000;
    tv.tv_usec = (nTimeoutMs % 1000) * 1000;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

int SocketConnect(SOCKET s, const sockaddr_in& address, int nTimeoutMs)
{
    const int nFlags = fcntl(s, F_GETFL, 0);
    if (nFlags < 0 || fcntl(s, F_SETFL, nFlags | O_NONBLOCK) < 0)
        return Fail(errno);

    int nResult = 0;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            nResult = Fail(errno);
        } else {
            short nRevents = 0;
            const int n = PollFor(s, POLLOUT, static_cast<std::int64_t>(nTimeoutMs < 0 ? 0 : nTimeoutMs) * 1000000,
                                  &nRevents);
            if (n == 0) {
                nResult = Fail(ETIMEDOUT);
            } else if (n < 0) {
                nResult = SOCKET_ERROR;
            } else {
                int nError = 0;
                socklen_t nLen = sizeof nError;
                if (getsockopt(s, SOL_SOCKET, SO_ERROR, &nError, &nLen) < 0)
                    nResult = Fail(errno);
                else if (nError != 0)
                    nResult = Fail(nError);
            }
        }
    }
    fcntl(s, F_SETFL, nFlags);
    return nResult;
}

int SocketSend(SOCKET s, const char* pData, int nLength)
{
    CFiber* pFiber = CFiber::Current();
    for (;;) {
        // On a fiber a full send buffer must not block the thread: the wait
        // for room goes to the loop, bounded by the socket's send time-out.
        const ssize_t n = send(s, pData, static_cast<size_t>(nLength < 0 ? 0 : nLength),
                               MSG_NOSIGNAL | (pFiber ? MSG_DONTWAIT : 0));
        if (n >= 0)
            return static_cast<int>(n);
        if (pFiber && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitForSendRoom(*pFiber, s))
            continue;
        if (errno != EINTR)
            return Fail(errno);
    }
}

void SocketSetArrivalTimes(SOCKET s)
{
    KeepArrivalTimesOn();
    const int nOn = 1;
    setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &nOn, sizeof nOn);
}

int SocketRecv(SOCKET s, char* pData, int nLength, bool bPeek, std::int64_t* pArrivalUs)
{
    iovec data{pData, static_cast<size_t>(nLength < 0 ? 0 : nLength)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    for (;;) {
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = pArrivalUs != nullptr ? sizeof control : 0;
        const ssize_t n = recvmsg(s, &message, bPeek ? MSG_PEEK : 0);
        if (n > 0 && pArrivalUs != nullptr)
            *pArrivalUs = ArrivalUs(message);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR)
            return Fail(errno);
    }
}

int SocketWaitReadable(SOCKET s, int nSec, int nUSec)
{
    std::int64_t nWaitNs = static_cast<std::int64_t>(nSec) * 1000000000 + static_cast<std::int64_t>(nUSec) * 1000;
    if (nWaitNs < 0)
        nWaitNs = 0;
    short nRevents = 0;
    const int n = PollFor(s, POLLIN, nWaitNs, &nRevents);
    if (n > 0 && (nRevents & POLLNVAL))
        return Fail(EBADF);
    return n > 0 ? 1 : n;
}

int SocketWaitWritable(SOCKET s, int nWaitMs)
{
    short nRevents = 0;
    const int n = PollFor(s, POLLOUT, static_cast<std::int64_t>(nWaitMs < 0 ? 0 : nWaitMs) * 1000000, &nRevents);
    if (n > 0 && (nRevents & POLLNVAL))
        return Fail(EBADF);
    return n > 0 ? 1 : n;
}

void SocketSetNoDelay(SOCKET s)
{
    const int nOn = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
}

void SocketSetNonBlocking(SOCKET s, bool bNonBlocking)
{
    const int nFlags = fcntl(s, F_GETFL, 0);
    if (nFlags >= 0)
        fcntl(s, F_SETFL, bNonBlocking ? nFlags | O_NONBLOCK : nFlags & ~O_NONBLOCK);
}

bool SocketPeerClosed(SOCKET s)
{
    if (s == INVALID_SOCKET)
        return true;
    short nRevents = 0;
    const int n = PollFor(s, POLLIN, 0, &nRevents);
    if (n < 0 || (nRevents & (POLLERR | POLLNVAL)))
        return true;
    if (n == 0)
        return false;
    char c = 0;
    const ssize_t nPeeked = recv(s, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (nPeeked == 0)
        return true;
    if (nPeeked < 0)
        return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return false;  // unread data waiting: still open
}

bool SocketHasUnreadData(SOCKET s)
{
    int nUnread = 0;
    if (s == INVALID_SOCKET || ioctl(s, FIONREAD, &nUnread) != 0)
        return true;
    return nUnread > 0;
}

void SocketSetThreadCancelFd(int nFd)
{
    if (CFiber* pFiber = CFiber::Current())
        pFiber->m_nCancelFd = nFd;
    else
        t_nThreadCancelFd = nFd;
}

void SocketClose(SOCKET s)
{
    if (s != INVALID_SOCKET)
        close(s);
}

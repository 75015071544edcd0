#include "CLoopbackListener.h"

#include "LoopbackSocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

CLoopbackListener::CLoopbackListener(Handler handler, int nBacklog) : m_handler(std::move(handler))
{
    m_nListenFd = BindLoopback(m_nPort, nBacklog);
    m_nWakeFd = eventfd(0, EFD_CLOEXEC);
    if (m_nListenFd >= 0 && m_nWakeFd >= 0)
        m_acceptThread = std::thread([this] { AcceptLoop(); });
    else
        m_nPort = 0;
}

CLoopbackListener::~CLoopbackListener()
{
    Stop();
    if (m_nListenFd >= 0)
        close(m_nListenFd);
    if (m_nWakeFd >= 0)
        close(m_nWakeFd);
}

void CLoopbackListener::Stop()
{
    if (m_bStop.exchange(true))
        return;
    if (m_nWakeFd >= 0) {
        const std::uint64_t nOne = 1;
        [[maybe_unused]] const ssize_t n = write(m_nWakeFd, &nOne, sizeof nOne);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::list<CConnection> connections;
    {
        const std::lock_guard lock(m_mutex);
        for (CConnection& connection : m_connections) {
            if (!connection.bDone)
                shutdown(connection.nFd, SHUT_RDWR);
        }
        connections.swap(m_connections);
    }
    for (CConnection& connection : connections)
        connection.thread.join();
}

void CLoopbackListener::AcceptLoop()
{
    while (!m_bStop) {
        pollfd fds[2] = {{m_nListenFd, POLLIN, 0}, {m_nWakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (m_bStop || (fds[1].revents & POLLIN))
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (nFd < 0)
            continue;
        const int nConnection = m_nAccepted++;
        const std::lock_guard lock(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (it->bDone) {
                it->thread.join();
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
        CConnection& connection = m_connections.emplace_back();
        connection.nFd = nFd;
        connection.thread = std::thread([this, &connection, nConnection] {
            m_handler(connection.nFd, nConnection);
            // Closed under the lock, so that Stop never shuts down a
            // descriptor number that has been reused.
            const std::lock_guard done(m_mutex);
            close(connection.nFd);
            connection.bDone = true;
        });
    }
}

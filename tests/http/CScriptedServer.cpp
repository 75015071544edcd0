#include "CScriptedServer.h"

#include "../LoopbackSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WaitReadable(int nFd, int nMs)
{
    pollfd pfd{nFd, POLLIN, 0};
    return poll(&pfd, 1, nMs) > 0;
}

} // namespace

CScriptedServer::CScriptedServer()
{
    m_nListenFd = BindLoopback(m_nPort, 16);
    if (m_nListenFd < 0)
        throw std::runtime_error("scripted server: cannot listen on loopback");
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

CScriptedServer::~CScriptedServer()
{
    m_bStop = true;
    m_acceptThread.join();
    for (std::thread& worker : m_workers)
        worker.join();
    close(m_nListenFd);
}

void CScriptedServer::AddConnection(const Script& script)
{
    std::lock_guard lock(m_mutex);
    m_scripts.push_back(script);
}

QList<QByteArray> CScriptedServer::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void CScriptedServer::AcceptLoop()
{
    std::size_t nNext = 0;
    while (!m_bStop) {
        if (!WaitReadable(m_nListenFd, 20))
            continue;
        const int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (nFd < 0)
            continue;
        ++m_nConnections;
        Script script;
        {
            std::lock_guard lock(m_mutex);
            if (nNext < m_scripts.size())
                script = m_scripts[nNext++];
        }
        m_workers.emplace_back([this, nFd, script] { Serve(nFd, script); });
    }
}

void CScriptedServer::Serve(int nFd, Script script)
{
    QByteArray pending;  // bytes read beyond the last request
    bool bOpen = true;
    for (const Step& step : script) {
        if (!bOpen || m_bStop)
            break;
        switch (step.kind) {
        case Step::ReadRequest: {
            qsizetype nEnd = pending.indexOf("\r\n\r\n");
            while (nEnd < 0 && !m_bStop) {
                if (!WaitReadable(nFd, 10000))
                    break;
                char chunk[4096];
                const ssize_t n = recv(nFd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    if (n < 0 && errno == ECONNRESET)
                        m_bSawReset = true;
                    bOpen = false;
                    break;
                }
                pending.append(chunk, n);
                nEnd = pending.indexOf("\r\n\r\n");
            }
            if (nEnd >= 0) {
                std::lock_guard lock(m_mutex);
                m_requests.append(pending.left(nEnd + 4));
                pending.remove(0, nEnd + 4);
            } else {
                bOpen = false;
            }
            break;
        }
        case Step::Send: {
            qsizetype nSent = 0;
            while (nSent < step.data.size()) {
                const ssize_t n = send(nFd, step.data.constData() + nSent, static_cast<size_t>(step.data.size() - nSent),
                                       MSG_NOSIGNAL);
                if (n <= 0) {
                    bOpen = false;
                    break;
                }
                nSent += n;
            }
            break;
        }
        case Step::Sleep:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.nMs));
            break;
        case Step::Close:
            bOpen = false;
            break;
        case Step::Reset: {
            linger lg{1, 0};
            setsockopt(nFd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            bOpen = false;
            break;
        }
        case Step::Hold: {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!m_bStop && std::chrono::steady_clock::now() < deadline) {
                if (!WaitReadable(nFd, 20))
                    continue;
                char chunk[4096];
                const ssize_t n = recv(nFd, chunk, sizeof chunk, 0);
                if (n <= 0) {
                    if (n < 0 && errno == ECONNRESET)
                        m_bSawReset = true;
                    break;
                }
            }
            bOpen = false;
            break;
        }
        }
    }
    close(nFd);
}

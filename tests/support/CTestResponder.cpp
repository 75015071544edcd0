#include "CTestResponder.h"

#include "LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>


CTestResponder::CTestResponder(QByteArray response, int nDelayMs)
    : m_response(std::move(response)), m_nDelayMs(nDelayMs), m_listener([this](int nFd, int) { Serve(nFd); })
{
}

CTestResponder::~CTestResponder()
{
    m_listener.Stop();
}

QByteArray CTestResponder::LastRequest() const
{
    std::lock_guard lock(m_requestMutex);
    return QByteArray(m_lastRequest.constData(), m_lastRequest.size());
}

int CTestResponder::ClosedPort()
{
    int nPort = 0;
    close(BindLoopback(nPort, 64));
    return nPort;
}

void CTestResponder::Serve(int nFd)
{
    QByteArray request;
    char buffer[4096];
    while (!m_listener.Stopping()) {
        pollfd pfd{nFd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0)
            continue;
        const ssize_t nRead = recv(nFd, buffer, sizeof buffer, 0);
        if (nRead <= 0)
            break;
        request.append(buffer, int(nRead));
        if (!request.contains("\r\n\r\n"))
            continue;
        {
            std::lock_guard lock(m_requestMutex);
            // Deep copies: Qt's own code is not built for the thread
            // checker, so byte arrays shared across threads would look racy.
            m_lastRequest = QByteArray(request.constData(), request.size());
        }
        ++m_nRequests;
        const auto wakeAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nDelayMs);
        while (!m_listener.Stopping() && std::chrono::steady_clock::now() < wakeAt)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::function<void()> beforeAnswer;
        {
            std::lock_guard lock(m_requestMutex);
            beforeAnswer = m_beforeAnswer;
        }
        if (beforeAnswer)
            beforeAnswer();
        send(nFd, m_response.constData(), size_t(m_response.size()), MSG_NOSIGNAL);
        break;
    }
}

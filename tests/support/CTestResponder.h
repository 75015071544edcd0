#pragma once

#include "CLoopbackListener.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <mutex>

// A loopback HTTP peer for engine tests: every request on every connection
// gets the same response after a delay, and the connection is then closed.
// Connections that send nothing (the connection pass) are simply held open.
class CTestResponder {
public:
    explicit CTestResponder(QByteArray response, int nDelayMs = 0);
    ~CTestResponder();
    CTestResponder(const CTestResponder&) = delete;
    CTestResponder& operator=(const CTestResponder&) = delete;

    int Port() const { return m_listener.Port(); }
    int RequestCount() const { return m_nRequests.load(); }
    // The head of the last request, as received.
    QByteArray LastRequest() const;

    // Called on the connection's thread once a request is in, before its
    // answer goes out (after the delay). Set before the first request.
    void SetBeforeAnswer(std::function<void()> hook)
    {
        std::lock_guard lock(m_requestMutex);
        m_beforeAnswer = std::move(hook);
    }

    // A loopback port on which nothing listens.
    static int ClosedPort();

private:
    void Serve(int nFd);

    QByteArray m_response;
    int m_nDelayMs;
    std::atomic<int> m_nRequests{0};
    mutable std::mutex m_requestMutex;
    QByteArray m_lastRequest;  // guarded by m_requestMutex
    std::function<void()> m_beforeAnswer;  // guarded by m_requestMutex
    CLoopbackListener m_listener;  // last: it serves with the members above
};

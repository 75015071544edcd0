#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A loopback HTTP peer for engine tests: every request on every connection
// gets the same response after a delay, and the connection is then closed.
// Connections that send nothing (the connection pass) are simply held open.
class CTestResponder {
public:
    explicit CTestResponder(QByteArray response, int nDelayMs = 0);
    ~CTestResponder();
    CTestResponder(const CTestResponder&) = delete;
    CTestResponder& operator=(const CTestResponder&) = delete;

    int Port() const { return m_nPort; }
    int RequestCount() const { return m_nRequests.load(); }
    // The head of the last request, as received.
    QByteArray LastRequest() const;

    // A loopback port on which nothing listens.
    static int ClosedPort();

private:
    void AcceptLoop();
    void Serve(int nFd);

    QByteArray m_response;
    int m_nDelayMs;
    int m_nListenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nRequests{0};
    mutable std::mutex m_requestMutex;
    QByteArray m_lastRequest;  // guarded by m_requestMutex
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<std::thread> m_connections;
};

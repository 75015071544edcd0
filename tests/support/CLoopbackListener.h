#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

// The accept loop of every loopback peer of the tests, benchmarks and fuzz
// targets: listens on a free loopback port and serves each connection on a
// thread of its own with the handler. The handler must not close the
// descriptor: the listener closes it when the handler returns (to reset a
// connection, set SO_LINGER to zero and return). Threads of connections that
// ended are joined as new ones come, so a peer that serves millions of
// connections keeps few. Stop (or the destructor) stops accepting, shuts down
// the connections still open, so that their reads end, and waits for every
// handler.
class CLoopbackListener {
public:
    // nConnection counts the accepted connections from 0, in the order accepted.
    using Handler = std::function<void(int nFd, int nConnection)>;

    explicit CLoopbackListener(Handler handler, int nBacklog = 64);
    ~CLoopbackListener();
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    // The port, or 0 when no loopback port could be had.
    int Port() const { return m_nPort; }
    bool Listening() const { return m_acceptThread.joinable(); }
    // True once Stop began: handlers that wait in loops of their own end them.
    bool Stopping() const { return m_bStop.load(); }
    // Connections accepted so far.
    int ConnectionCount() const { return m_nAccepted.load(); }

    void Stop();

private:
    struct CConnection {
        int nFd = -1;
        std::atomic<bool> bDone{false};
        std::thread thread;
    };

    void AcceptLoop();

    Handler m_handler;
    int m_nListenFd = -1;
    int m_nWakeFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nAccepted{0};
    std::mutex m_mutex;
    std::list<CConnection> m_connections;  // guarded by m_mutex
    std::thread m_acceptThread;
};

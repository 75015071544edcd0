#pragma once

// A signal that ends the socket waits of the threads that watch it: once
// raised, every connect or wait for data on such a thread fails at once with
// ECANCELED, until the signal is lowered again.
class CCancelSignal {
public:
    CCancelSignal();
    ~CCancelSignal();
    CCancelSignal(const CCancelSignal&) = delete;
    CCancelSignal& operator=(const CCancelSignal&) = delete;

    void Raise();
    void Lower();
    // Makes the socket waits of the calling thread watch this signal (or none,
    // with nullptr).
    static void WatchOnThisThread(const CCancelSignal* pSignal);

    int Fd() const { return m_nFd; }

private:
    int m_nFd = -1;
};

#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A loopback TCP server that plays a script per accepted connection, for the
// peers that real servers will not imitate: silence, stalls, resets, garbage.
// Connections get the scripts in the order they were added; one accepted
// after the last script is closed at once.
class CScriptedServer
{
public:
    struct Step
    {
        enum Kind { ReadRequest, Send, Sleep, Close, Reset, Hold };
        Kind kind;
        QByteArray data;
        int nMs = 0;

        static Step Read() { return {ReadRequest, {}, 0}; }
        static Step Write(const QByteArray& bytes) { return {Send, bytes, 0}; }
        static Step Pause(int nMs) { return {Sleep, {}, nMs}; }
        static Step Shut() { return {Close, {}, 0}; }
        static Step Abort() { return {Reset, {}, 0}; }
        // Keeps the connection open until the client closes it (or 20 s).
        static Step Wait() { return {Hold, {}, 0}; }
    };
    using Script = std::vector<Step>;

    CScriptedServer();
    ~CScriptedServer();
    CScriptedServer(const CScriptedServer&) = delete;
    CScriptedServer& operator=(const CScriptedServer&) = delete;

    int Port() const { return m_nPort; }
    void AddConnection(const Script& script);

    // Requests read so far, each up to and including its blank line.
    QList<QByteArray> Requests() const;
    int ConnectionCount() const { return m_nConnections.load(); }
    // True when a connection saw the client reset it.
    bool SawReset() const { return m_bSawReset.load(); }

private:
    void AcceptLoop();
    void Serve(int nFd, Script script);

    int m_nListenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nConnections{0};
    std::atomic<bool> m_bSawReset{false};
    mutable std::mutex m_mutex;
    std::vector<Script> m_scripts;
    QList<QByteArray> m_requests;
    std::vector<std::thread> m_workers;
    std::thread m_acceptThread;
};

// Milliseconds the callable took.
template <class F>
long long MeasureMs(F&& f);

#include <chrono>
template <class F>
long long MeasureMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

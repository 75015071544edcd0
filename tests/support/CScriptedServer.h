#pragma once

#include "CLoopbackListener.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// A loopback server that plays a script per accepted connection, for the
// peers that real servers will not imitate: silence, stalls, resets, garbage.
// Plain TCP, or TLS when given a certificate and key (the handshake comes
// before the first step). Connections get the scripts in the order they were
// added; one accepted after the last script is closed at once.
class CScriptedServer
{
public:
    struct Step
    {
        enum Kind { ReadRequest, Send, Sleep, Close, Reset, Hold, CloseQuietly, NeedClientCert };
        Kind kind;
        QByteArray data;
        int nMs = 0;

        static Step Read() { return {ReadRequest, {}, 0}; }
        static Step Write(const QByteArray& bytes) { return {Send, bytes, 0}; }
        static Step Pause(int nMs) { return {Sleep, {}, nMs}; }
        // Ends the connection: over TLS with close_notify first.
        static Step Shut() { return {Close, {}, 0}; }
        // Over TLS: a FIN without close_notify (plain TCP: as Shut).
        static Step ShutQuietly() { return {CloseQuietly, {}, 0}; }
        // Over TLS, as the first step: the handshake asks for a client
        // certificate and fails without one (the device then sends an alert).
        static Step RequireClientCert() { return {NeedClientCert, {}, 0}; }
        static Step Abort() { return {Reset, {}, 0}; }
        // Keeps the connection open until the client closes it (or 20 s).
        static Step Wait() { return {Hold, {}, 0}; }
    };
    using Script = std::vector<Step>;

    CScriptedServer();
    CScriptedServer(const QString& strCertFile, const QString& strKeyFile);
    ~CScriptedServer();
    CScriptedServer(const CScriptedServer&) = delete;
    CScriptedServer& operator=(const CScriptedServer&) = delete;

    int Port() const { return m_listener->Port(); }
    void AddConnection(const Script& script);

    // Requests read so far, each up to and including its blank line.
    QList<QByteArray> Requests() const;
    int ConnectionCount() const { return m_listener->ConnectionCount(); }
    // True when a connection saw the client reset it.
    bool SawReset() const { return m_bSawReset.load(); }

private:
    void Start();
    void Serve(int nFd, int nConnection);

    void* m_pTlsCtx = nullptr;  // SSL_CTX, when TLS
    std::atomic<bool> m_bSawReset{false};
    mutable std::mutex m_mutex;
    std::vector<Script> m_scripts;
    QList<QByteArray> m_requests;
    std::unique_ptr<CLoopbackListener> m_listener;
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

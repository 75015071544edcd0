#include "CScriptedServer.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WaitReadable(int nFd, int nMs)
{
    pollfd pfd{nFd, POLLIN, 0};
    return poll(&pfd, 1, nMs) > 0;
}

// One connection, plain or TLS.
class CPeerConnection
{
public:
    CPeerConnection(int nFd, SSL* pSsl) : m_nFd(nFd), m_pSsl(pSsl) {}
    ~CPeerConnection() { SSL_free(m_pSsl); }

    bool Pending() const { return m_pSsl && SSL_pending(m_pSsl) > 0; }
    ssize_t Read(char* pData, int nLength)
    {
        return m_pSsl ? SSL_read(m_pSsl, pData, nLength) : recv(m_nFd, pData, static_cast<size_t>(nLength), 0);
    }
    ssize_t Write(const char* pData, int nLength)
    {
        return m_pSsl ? SSL_write(m_pSsl, pData, nLength)
                      : send(m_nFd, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL);
    }
    void Notify()
    {
        if (m_pSsl)
            SSL_shutdown(m_pSsl);
    }

private:
    int m_nFd;
    SSL* m_pSsl;
};

} // namespace

CScriptedServer::CScriptedServer(const QString& strCertFile, const QString& strKeyFile)
{
    signal(SIGPIPE, SIG_IGN);  // TLS writes go through OpenSSL's own socket calls
    SSL_CTX* pCtx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(pCtx, strCertFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(pCtx, strKeyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM);
    m_pTlsCtx = pCtx;
    Start();
}

CScriptedServer::CScriptedServer()
{
    Start();
}

void CScriptedServer::Start()
{
    m_listener = std::make_unique<CLoopbackListener>([this](int nFd, int nConnection) { Serve(nFd, nConnection); },
                                                     16);
    if (!m_listener->Listening())
        throw std::runtime_error("scripted server: cannot listen on loopback");
}

CScriptedServer::~CScriptedServer()
{
    m_listener->Stop();
    SSL_CTX_free(static_cast<SSL_CTX*>(m_pTlsCtx));
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

void CScriptedServer::Serve(int nFd, int nConnection)
{
    // A connection after the last script is closed at once.
    Script script;
    {
        std::lock_guard lock(m_mutex);
        if (std::size_t(nConnection) < m_scripts.size())
            script = m_scripts[std::size_t(nConnection)];
    }
    SSL* pSsl = nullptr;
    if (SSL_CTX* pCtx = static_cast<SSL_CTX*>(m_pTlsCtx)) {
        // Blocking TLS calls of this connection give up after 5 s.
        timeval tv{5, 0};
        setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(nFd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        pSsl = SSL_new(pCtx);
        SSL_set_fd(pSsl, nFd);
        if (!script.empty() && script.front().kind == Step::NeedClientCert)
            SSL_set_verify(pSsl, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
        if (SSL_accept(pSsl) != 1) {
            // As servers do after a failed handshake: take what the client
            // sent on, so that closing sends a FIN (not a reset) after the alert.
            char chunk[4096];
            while (WaitReadable(nFd, 300) && recv(nFd, chunk, sizeof chunk, 0) > 0) {
            }
            script.clear();
        }
    }
    CPeerConnection connection(nFd, pSsl);
    QByteArray pending;  // bytes read beyond the last request
    bool bOpen = true;
    bool bNotify = true;  // end a TLS connection with close_notify
    for (const Step& step : script) {
        if (!bOpen || m_listener->Stopping())
            break;
        switch (step.kind) {
        case Step::NeedClientCert:
            break;
        case Step::ReadRequest: {
            qsizetype nEnd = pending.indexOf("\r\n\r\n");
            while (nEnd < 0 && !m_listener->Stopping()) {
                if (!connection.Pending() && !WaitReadable(nFd, 10000))
                    break;
                char chunk[4096];
                const ssize_t n = connection.Read(chunk, sizeof chunk);
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
                const ssize_t n = connection.Write(step.data.constData() + nSent,
                                                   static_cast<int>(std::min<qsizetype>(step.data.size() - nSent, 1 << 20)));
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
        case Step::CloseQuietly:
            bNotify = false;
            bOpen = false;
            break;
        case Step::Reset: {
            linger lg{1, 0};
            setsockopt(nFd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            bNotify = false;
            bOpen = false;
            break;
        }
        case Step::Hold: {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!m_listener->Stopping() && std::chrono::steady_clock::now() < deadline) {
                if (!WaitReadable(nFd, 20))
                    continue;
                char chunk[4096];
                const ssize_t n = connection.Read(chunk, sizeof chunk);
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
    if (bNotify)
        connection.Notify();
}

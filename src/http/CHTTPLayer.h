#pragma once

#include "http/CTlsConnection.h"
#include "http/HResult.h"
#include "platform/Sockets.h"

#include <QByteArray>
#include <QString>

#include <memory>

// HTTP/1.1 client for one device (host and port), on a plain TCP socket or
// TLS on it.
// Every exchange runs on a fresh connection: connect, a plain GET, and on a 401
// one more GET with Basic or Digest (MD5) credentials. Not for use by two
// threads at once. Failures are result codes; the last diagnostic is kept in
// m_strLastError and read by nobody but people debugging.
class CHTTPLayer
{
public:
    static constexpr int kHostMaxChars = 259;
    static constexpr int kReceiveBufferSize = 102400;
    static constexpr int kRecvChunk = 1024;
    static constexpr int kMinResponseBuffer = 18;

    CHTTPLayer();
    virtual ~CHTTPLayer();
    CHTTPLayer(const CHTTPLayer&) = delete;
    CHTTPLayer& operator=(const CHTTPLayer&) = delete;

    // Keeps at most 259 characters of the host text (up to a NUL). Always 0.
    int SetHost(const QString& strHost);

    // HTTPS: every connection made from now on runs TLS, with certificates
    // checked as the options say.
    void SetTls(bool bTls, const CTlsOptions& options = {});
    bool IsTls() const { return m_bTls; }
    // Why the last TLS handshake failed, for the log; empty when it did not.
    QString TlsProblem() const { return m_bTlsFailed ? m_pTls->Problem() : QString(); }
    bool TlsCertificateRefused() const { return m_bTlsFailed && m_pTls->CertificateRefused(); }

    // Opens a new connection to the host and nPort, closing any open one with
    // a reset first; the port is kept for later reconnects. Gives up after
    // about the response wait. 0 when connected, -1 on failure (an unconnected
    // socket may then stay behind until the next Connect or Close).
    int Connect(int nPort);

    // Closes the socket, if any.
    void Close();

    // Sends the plain GET for the request target, connecting first when no
    // socket is open. One failed send is retried on a new connection after
    // 25 ms. S_OK, or E_FAIL.
    HRESULT SendGet(const QByteArray& requestTarget);

    // Reads one response into pBuffer: nLength is the capacity on entry (at
    // least 18) and the count received on exit; the data is NUL-terminated.
    // pStatus, when given, gets the status (400 when none could be read).
    // Each wait for more data is nWaitSec seconds plus nWaitUSec microseconds.
    // S_OK, S_WAIT_TIMEOUT (nothing usable came in the wait), E_FAIL (no
    // connection, or not an HTTP response), E_INVALIDARG, E_OUTOFMEMORY.
    HRESULT GetResponse(char* pBuffer, int& nLength, int* pStatus, int nWaitSec, int nWaitUSec);

    // A complete exchange for the request target. On entry nLength is the
    // capacity of pResponse; a response that does not fit is cut to
    // capacity - 1 bytes. The copy is always NUL-terminated, and nLength is
    // then its length without the NUL. nStatus gets the HTTP status of the
    // last response read (400 when none could be read).
    HRESULT SendRequest(const QByteArray& requestTarget, char* pResponse, int& nLength, int& nStatus,
                        const QByteArray& user, const QByteArray& password);

    // The status code of a response of at least 18 bytes starting with
    // "HTTP": the first decimal number from byte 8 on. S_OK, E_FAIL (not
    // HTTP) or E_INVALIDARG (too short).
    static HRESULT ParseStatusCode(const char* pData, int nLength, int& nStatus);

    SOCKET Socket() const { return m_socket; }
    const QString& Host() const { return m_szHost; }
    int Port() const { return m_nPort; }
    int TimeoutSec() const { return m_nTimeoutSec; }
    int TimeoutUSec() const { return m_nTimeoutUSec; }

    // Why the last exchange left a 401 unanswered (no challenge, or none we
    // support); empty when it did not.
    const QString& AuthProblem() const { return m_strAuthProblem; }

    QString m_strLastError;

protected:
    SOCKET m_socket = INVALID_SOCKET;
    int m_nTimeoutSec = 5;
    int m_nTimeoutUSec = 5;
    QString m_szHost;
    int m_nPort = 80;

    // Upper bound on reading one response, however slowly it trickles in.
    int m_nResponseLimitMs = 60000;

private:
    int ConnectTimeoutMs() const;
    QByteArray HostText() const;
    bool SendAll(const QByteArray& request);
    int WaitReadable(int nSec, int nUSec);
    int Recv(char* pData, int nLength);
    bool ConnectionReusable(const char* pResponse, int nLength) const;

    // Whether the peer ended the connection while the last response was read.
    bool m_bPeerClosed = false;
    QString m_strAuthProblem;
    bool m_bTls = false;
    CTlsOptions m_tlsOptions;
    std::unique_ptr<CTlsConnection> m_pTls;
    bool m_bTlsFailed = false;  // the last Connect failed in TLS (not before)
    // Whether the last response ended exactly where its framing said, with
    // nothing after it on the connection.
    bool m_bReadToFramedEnd = false;
};

#pragma once

#include "http/CResponseParser.h"
#include "http/CTlsConnection.h"
#include "http/HResult.h"
#include "http/ITransport.h"
#include "platform/Sockets.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

// HTTP/1.1 client for one device (host and port), on a plain TCP socket or
// TLS on it.
// Every exchange runs on a fresh connection: connect, a plain GET, and on a 401
// one more GET with Digest or Basic credentials (see CAuthAnswer). Responses
// are read by CResponseReader through the connection's transport, plain or
// TLS alike. Not for use by two
// threads at once. Failures are result codes; the last diagnostic is kept in
// m_strLastError and read by nobody but people debugging.
class CHTTPLayer
{
public:
    static constexpr int kHostMaxChars = 259;

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

    // Reads one response from the open connection into the parser. S_OK
    // when it is complete, S_WAIT_TIMEOUT when the wait ran out before a
    // status line came, E_FAIL otherwise (no connection, or a response that
    // ended badly: Failure() says why).
    HRESULT ReadResponse(CResponseParser& parser);

    // A complete exchange for the request target. On entry nLength is the
    // capacity of pResponse. Only a complete response is an answer (S_OK):
    // its head and body (decoded from chunks), always NUL-terminated, nLength
    // then its length without the NUL. When they do not fit in capacity - 1
    // bytes, the body's first bytes (capacity - 5 at most) keep their room and
    // the head is cut to what is left before its blank line.
    // S_WAIT_TIMEOUT: nothing usable came in the wait; E_FAIL: the command
    // failed, Failure() says why (besides TlsProblem() and AuthProblem()).
    // nStatus gets the status of the last response whose status line was
    // read, -1 when none was. bUtf8Credentials: user and password are UTF-8.
    HRESULT SendRequest(const QByteArray& requestTarget, char* pResponse, int& nLength, int& nStatus,
                        const QByteArray& user, const QByteArray& password, bool bUtf8Credentials = false);

    // Why the last exchange failed, for the log ("no response (...)",
    // "response cut short (10 of 100 body bytes)"); empty when it did not,
    // when the wait ran out before anything came, and for TLS problems.
    const QString& Failure() const { return m_strFailure; }

    // When the last bytes of the answer the last SendRequest gave (S_OK)
    // reached this machine, on the MonotonicUs() clock: the kernel's receive
    // time of the segment that brought them (over several exchanges, a 401
    // and the answer to the credentials, the last one's). -1 when there was
    // no answer. See CResponseReader::ArrivalUs.
    std::int64_t AnswerArrivalUs() const { return m_nAnswerArrivalUs; }

    SOCKET Socket() const { return m_socket; }
    const QString& Host() const { return m_szHost; }
    int Port() const { return m_nPort; }
    int TimeoutSec() const { return m_nTimeoutSec; }
    int TimeoutUSec() const { return m_nTimeoutUSec; }

    // Why the last exchange ended on a 401 (no challenge, none we support,
    // credentials refused); empty when it did not.
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
    bool ConnectionReusable(const CResponseParser& response) const;
    // Sends the request with credentials and reads its answer, on the kept
    // connection when bReuse (once more on a new one when the kept one turns
    // out to be gone), else on a new connection.
    HRESULT SendAuthorized(const QByteArray& request, bool bReuse, int nKeep, CResponseParser& parser);

    QString m_strAuthProblem;
    QString m_strFailure;
    bool m_bTls = false;
    CTlsOptions m_tlsOptions;
    std::unique_ptr<CTlsConnection> m_pTls;
    std::unique_ptr<ITransport> m_pTransport;  // of the open connection
    // Where a response's bytes land, made at the first response and kept
    // for the layer's life (CResponseReader).
    std::unique_ptr<char[]> m_recvBuffer;
    bool m_bTlsFailed = false;  // the last Connect failed in TLS (not before)
    // How the last response read ended.
    bool m_bPeerEnded = false;
    bool m_bEndedCleanly = false;
    std::int64_t m_nReadArrivalUs = -1;    // of the last response read
    std::int64_t m_nAnswerArrivalUs = -1;  // of the last SendRequest's answer
};

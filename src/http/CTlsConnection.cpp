#include "CTlsConnection.h"

#include "platform/MonotonicClock.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

struct CTlsConnection::CContext
{
    SSL_CTX* pCtx = nullptr;
    ~CContext()
    {
        SSL_CTX_free(pCtx);
    }
};

namespace {

// What the session's BIO reads and writes through: the socket, and when the
// segment holding the last byte it read arrived (SocketRecv).
struct CBioSocket
{
    SOCKET nFd = INVALID_SOCKET;
    std::int64_t nArrivalUs = -1;
};

} // namespace

struct CTlsConnection::CSession
{
    SSL* pSsl = nullptr;
    CBioSocket socket;  // the BIO's data: outlives it, freed with the SSL
    ~CSession()
    {
        SSL_free(pSsl);
    }
};

namespace {

// The most recent OpenSSL error of this thread, in words; the queue is emptied.
QString OpenSslError()
{
    unsigned long nLast = 0;
    while (const unsigned long n = ERR_get_error())
        nLast = n;
    if (nLast == 0)
        return QString();
    const char* pReason = ERR_reason_error_string(nLast);
    return QString::fromLatin1(pReason ? pReason : "unknown error");
}

// A certificate check result in the words a user acts on.
QString CertificateReason(long nResult)
{
    switch (nResult) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("self-signed");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return QStringLiteral("untrusted issuer");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("name mismatch");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("not yet valid");
    default:
        return QStringLiteral("invalid");
    }
}

bool IsIpAddress(const QByteArray& host)
{
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, host.constData(), &v4) == 1 || inet_pton(AF_INET6, host.constData(), &v6) == 1;
}

// The certificates a CA file holds, read as OpenSSL reads the file when it
// trusts it: PEM blocks, any text around them skipped. -1 when a block is
// damaged, which makes OpenSSL refuse the whole file.
int CountCertificates(const QString& strPath)
{
    BIO* pBio = BIO_new_file(strPath.toLocal8Bit().constData(), "r");
    STACK_OF(X509_INFO)* pInfos = pBio ? PEM_X509_INFO_read_bio(pBio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(pBio);
    if (!pInfos)
        return -1;
    int nCount = 0;
    for (int i = 0; i < sk_X509_INFO_num(pInfos); ++i) {
        if (sk_X509_INFO_value(pInfos, i)->x509)
            ++nCount;
    }
    sk_X509_INFO_pop_free(pInfos, X509_INFO_free);
    return nCount;
}

// OpenSSL's own socket calls may raise SIGPIPE on a connection the device has
// dropped; this transport sends with MSG_NOSIGNAL instead.
int BioWrite(BIO* pBio, const char* pData, int nLength)
{
    const int nFd = static_cast<const CBioSocket*>(BIO_get_data(pBio))->nFd;
    BIO_clear_retry_flags(pBio);
    const ssize_t n = send(nFd, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(pBio);
    return static_cast<int>(n);
}

int BioRead(BIO* pBio, char* pData, int nLength)
{
    CBioSocket* pSocket = static_cast<CBioSocket*>(BIO_get_data(pBio));
    BIO_clear_retry_flags(pBio);
    // The arrival of what a record's last read brought is the record's.
    const int n = SocketRecv(pSocket->nFd, pData, nLength, false, &pSocket->nArrivalUs);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(pBio);
    return n;
}

long BioCtrl(BIO*, int nCommand, long, void*)
{
    return nCommand == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* pBio)
{
    BIO_set_init(pBio, 1);
    return 1;
}

const BIO_METHOD* SocketBioMethod()
{
    static BIO_METHOD* const pMethod = [] {
        BIO_METHOD* p = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velkor socket");
        BIO_meth_set_write(p, BioWrite);
        BIO_meth_set_read(p, BioRead);
        BIO_meth_set_ctrl(p, BioCtrl);
        BIO_meth_set_create(p, BioCreate);
        return p;
    }();
    return pMethod;
}

// Waits for what OpenSSL asked for after a call that could not go on.
// 1 when the call may be made again, 0 when the time ran out, SOCKET_ERROR
// on failure (a cancelled wait among them).
int WaitFor(int nSslError, SOCKET s, int nWaitMs)
{
    if (nSslError == SSL_ERROR_WANT_READ)
        return SocketWaitReadable(s, nWaitMs / 1000, (nWaitMs % 1000) * 1000);
    if (nSslError == SSL_ERROR_WANT_WRITE)
        return SocketWaitWritable(s, nWaitMs);
    return SOCKET_ERROR;
}

} // namespace

CTlsConnection::CTlsConnection() = default;

CTlsConnection::~CTlsConnection() = default;

bool CTlsConnection::CheckCaFile(const QString& strPath, QString* pProblem)
{
    QString strProblem;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        strProblem = QStringLiteral("cannot be read: ") + file.errorString();
    } else if (file.size() == 0 && file.peek(1).isEmpty()) {
        strProblem = QStringLiteral("is empty");
    } else {
        ERR_clear_error();
        const int nCount = CountCertificates(strPath);
        if (nCount < 0)
            strProblem = QStringLiteral("holds a damaged PEM block (%1)").arg(OpenSslError());
        else if (nCount == 0)
            strProblem = QStringLiteral("holds no certificate");
        ERR_clear_error();
    }
    if (pProblem)
        *pProblem = strProblem;
    return strProblem.isEmpty();
}

bool CTlsConnection::Configure(const CTlsOptions& options)
{
    if (m_bConfigured && options == m_options && m_pContext)
        return true;
    m_bConfigured = false;
    m_options = options;
    m_pSession.reset();
    m_pContext = std::make_unique<CContext>();
    m_pContext->pCtx = SSL_CTX_new(TLS_client_method());
    if (!m_pContext->pCtx) {
        m_strProblem = QStringLiteral("TLS set-up failed: ") + OpenSslError();
        return false;
    }
    SSL_CTX* pCtx = m_pContext->pCtx;
    SSL_CTX_set_min_proto_version(pCtx, TLS1_2_VERSION);
    // Many devices end a connection without close_notify: that is an end of
    // stream here, not an error.
    SSL_CTX_set_options(pCtx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(pCtx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (options.bInsecure) {
        SSL_CTX_set_verify(pCtx, SSL_VERIFY_NONE, nullptr);
    } else {
        SSL_CTX_set_verify(pCtx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(pCtx);
        // A trusted certificate ends the chain wherever it stands in it: a
        // device's own certificate or its intermediate CA may be trusted
        // without the root above them.
        X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(pCtx), X509_V_FLAG_PARTIAL_CHAIN);
        QString strReason;
        if (!options.strCaFile.isEmpty()
            && (!CheckCaFile(options.strCaFile, &strReason)
                || SSL_CTX_load_verify_locations(pCtx, options.strCaFile.toLocal8Bit().constData(), nullptr) != 1)) {
            if (strReason.isEmpty())
                strReason = OpenSslError();
            m_strProblem =
                QStringLiteral("the certificate file %1 cannot be used: %2").arg(options.strCaFile, strReason);
            m_pContext.reset();
            return false;
        }
    }
    m_bConfigured = true;
    return true;
}

int CTlsConnection::Handshake(SOCKET s, const QByteArray& host, int nTimeoutMs)
{
    m_strProblem.clear();
    m_bCertificateRefused = false;
    m_nArrivalUs = -1;
    m_pSession.reset();
    if (!m_bConfigured && !Configure(m_options))
        return -1;
    ERR_clear_error();
    m_pSession = std::make_unique<CSession>();
    SSL* pSsl = m_pSession->pSsl = SSL_new(m_pContext->pCtx);
    BIO* pBio = pSsl ? BIO_new(SocketBioMethod()) : nullptr;
    if (!pBio) {
        m_strProblem = QStringLiteral("TLS set-up failed: ") + OpenSslError();
        return -1;
    }
    m_pSession->socket.nFd = s;
    BIO_set_data(pBio, &m_pSession->socket);
    SSL_set_bio(pSsl, pBio, pBio);
    m_nSocket = s;
    const bool bIp = IsIpAddress(host);
    if (!bIp)
        SSL_set_tlsext_host_name(pSsl, host.constData());
    if (!m_options.bInsecure) {
        X509_VERIFY_PARAM* pParam = SSL_get0_param(pSsl);
        if (bIp) {
            X509_VERIFY_PARAM_set1_ip_asc(pParam, host.constData());
        } else {
            // "c*.example.net" does not stand for "cam.example.net"; only a
            // whole-label "*.example.net" does.
            X509_VERIFY_PARAM_set_hostflags(pParam, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(pParam, host.constData(), 0);
        }
    }

    SocketSetNonBlocking(s, true);
    const std::int64_t nDeadline = MonotonicMs() + nTimeoutMs;
    for (;;) {
        // The queue is the thread's: after a wait it may hold what another
        // connection of this thread left there (fibers share the thread).
        ERR_clear_error();
        const int nResult = SSL_connect(pSsl);
        if (nResult == 1)
            return 0;
        const int nError = SSL_get_error(pSsl, nResult);
        const long nVerify = SSL_get_verify_result(pSsl);
        if (nError == SSL_ERROR_SSL && nVerify != X509_V_OK) {
            m_bCertificateRefused = true;
            m_strProblem = QStringLiteral("certificate refused, %1 (%2)")
                               .arg(CertificateReason(nVerify), QString::fromLatin1(X509_verify_cert_error_string(nVerify)));
            ERR_clear_error();
            return -1;
        }
        const std::int64_t nLeft = nDeadline - MonotonicMs();
        const int nWait = nError == SSL_ERROR_WANT_READ || nError == SSL_ERROR_WANT_WRITE
            ? WaitFor(nError, s, static_cast<int>(nLeft > 0 ? nLeft : 0))
            : SOCKET_ERROR;
        if (nWait == 1)
            continue;
        if (nWait == 0) {
            m_strProblem = QStringLiteral("TLS handshake timed out");
        } else if (nError == SSL_ERROR_SSL) {
            m_strProblem = QStringLiteral("TLS handshake failed: ") + OpenSslError();
        } else if (nError == SSL_ERROR_SYSCALL || nError == SSL_ERROR_ZERO_RETURN) {
            const int nErrno = errno;
            ERR_clear_error();
            m_strProblem = nErrno == 0 || nError == SSL_ERROR_ZERO_RETURN
                ? QStringLiteral("TLS handshake failed: the device closed the connection")
                : QStringLiteral("TLS handshake failed: ") + QString::fromLocal8Bit(strerror(nErrno));
        } else {
            m_strProblem = QStringLiteral("TLS handshake ended");
        }
        return -1;
    }
}

int CTlsConnection::Send(const char* pData, int nLength, int nTimeoutMs)
{
    if (!m_pSession || !m_pSession->pSsl)
        return SOCKET_ERROR;
    SSL* pSsl = m_pSession->pSsl;
    const SOCKET s = m_nSocket;
    int nSent = 0;
    while (nSent < nLength) {
        ERR_clear_error();
        const int n = SSL_write(pSsl, pData + nSent, nLength - nSent);
        if (n > 0) {
            nSent += n;
            continue;
        }
        if (WaitFor(SSL_get_error(pSsl, n), s, nTimeoutMs) != 1)
            return SOCKET_ERROR;
    }
    return nSent;
}

bool CTlsConnection::Pending() const
{
    return m_pSession && m_pSession->pSsl && SSL_pending(m_pSession->pSsl) > 0;
}

bool CTlsConnection::HasUnread() const
{
    return m_pSession && m_pSession->pSsl && SSL_has_pending(m_pSession->pSsl) == 1;
}

int CTlsConnection::Recv(char* pData, int nLength)
{
    if (!m_pSession || !m_pSession->pSsl)
        return SOCKET_ERROR;
    ERR_clear_error();
    const int n = SSL_read(m_pSession->pSsl, pData, nLength);
    if (n > 0) {
        // Bytes of a record already decrypted keep the arrival of the read
        // that completed it.
        m_nArrivalUs = m_pSession->socket.nArrivalUs;
        return n;
    }
    switch (SSL_get_error(m_pSession->pSsl, n)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return kWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        if (errno == 0) {
            ERR_clear_error();
            return 0;  // the device closed the connection without close_notify
        }
        m_strRecvProblem = errno == ECONNRESET ? QStringLiteral("connection reset")
                                               : QStringLiteral("TLS error: ") + QString::fromLocal8Bit(strerror(errno));
        ERR_clear_error();
        return SOCKET_ERROR;
    default: {
        // An alert from the device (a client certificate it wanted, say).
        const QString strError = OpenSslError();
        m_strRecvProblem = QStringLiteral("TLS error: ") + (strError.isEmpty() ? QStringLiteral("unknown") : strError);
        return SOCKET_ERROR;
    }
    }
}

void CTlsConnection::Shutdown()
{
    if (m_pSession && m_pSession->pSsl) {
        SSL_shutdown(m_pSession->pSsl);
        ERR_clear_error();
    }
    m_pSession.reset();
}

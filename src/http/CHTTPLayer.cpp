#include "CHTTPLayer.h"

#include "Base64.h"
#include "CAuthChallenge.h"
#include "CDigestAuth.h"
#include "CRequestText.h"
#include "CResponseEnd.h"
#include "CResponseHead.h"
#include "platform/MonotonicClock.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace {

// Text up to its first NUL byte, as the callers' 8-bit texts are meant.
QByteArray UpToNul(const QByteArray& text)
{
    const qsizetype nNul = text.indexOf('\0');
    return nNul < 0 ? text : text.left(nNul);
}

// Copies a response for the caller: cut to the capacity less one, always
// NUL-terminated; nLength becomes the count copied.
void CopyToCaller(const char* pSource, int nSource, char* pTarget, int& nLength)
{
    const int nCapacity = pTarget ? nLength : 0;
    if (nCapacity <= 0) {
        nLength = 0;
        return;
    }
    const int nCopy = std::min(nSource, nCapacity - 1);
    if (nCopy > 0)
        std::memcpy(pTarget, pSource, static_cast<size_t>(nCopy));
    pTarget[nCopy] = '\0';
    nLength = nCopy;
}

} // namespace

CHTTPLayer::CHTTPLayer()
{
    SocketStartup();
}

CHTTPLayer::~CHTTPLayer()
{
    Close();
    SocketCleanup();
}

int CHTTPLayer::SetHost(const QString& strHost)
{
    QString strText = strHost;
    const qsizetype nNul = strText.indexOf(QChar(u'\0'));
    if (nNul >= 0)
        strText.truncate(nNul);
    if (strText.size() > kHostMaxChars) {
        strText.truncate(kHostMaxChars);
        if (strText.back().isHighSurrogate())
            strText.chop(1);
    }
    m_szHost = strText;
    return 0;
}

int CHTTPLayer::ConnectTimeoutMs() const
{
    const long long nMs = static_cast<long long>(m_nTimeoutSec) * 1000 + (m_nTimeoutUSec + 999) / 1000;
    return static_cast<int>(std::clamp(nMs, 0LL, static_cast<long long>(INT_MAX)));
}

QByteArray CHTTPLayer::HostText() const
{
    return m_szHost.toUtf8();
}

int CHTTPLayer::Connect(int nPort)
{
    m_nPort = nPort;
    m_bTlsFailed = false;
    Close();

    in_addr address{};
    if (!SocketResolveIPv4(HostText(), &address))
        return -1;
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<std::uint16_t>(m_nPort & 0xFFFF));
    socketAddress.sin_addr = address;

    m_socket = SocketCreateTcp();
    if (m_socket == INVALID_SOCKET) {
        m_strLastError = QString::asprintf("HTTP: Allocating socket failed. Error: %d", SocketLastError());
        return -1;
    }
    SocketSetAbortiveClose(m_socket);
    SocketSetSendTimeout(m_socket, ConnectTimeoutMs());
    const std::int64_t nStart = MonotonicMs();
    if (SocketConnect(m_socket, socketAddress, ConnectTimeoutMs()) != 0)
        return -1;
    if (m_bTls) {
        // The handshake shares the connect's time bound.
        if (!m_pTls)
            m_pTls = std::make_unique<CTlsConnection>();
        // TLS writes its records one by one (the handshake's last flight,
        // then the request): none of them waits for the peer's ACK.
        SocketSetNoDelay(m_socket);
        const std::int64_t nLeft = ConnectTimeoutMs() - (MonotonicMs() - nStart);
        if (!m_pTls->Configure(m_tlsOptions)
            || m_pTls->Handshake(m_socket, HostText(), static_cast<int>(std::max<std::int64_t>(nLeft, 0))) != 0) {
            m_strLastError = QStringLiteral("HTTP: ") + m_pTls->Problem() + '\n';
            m_bTlsFailed = true;
            Close();
            return -1;
        }
    }
    return 0;
}

void CHTTPLayer::SetTls(bool bTls, const CTlsOptions& options)
{
    m_bTls = bTls;
    m_tlsOptions = options;
}

int CHTTPLayer::WaitReadable(int nSec, int nUSec)
{
    if (m_bTls && m_pTls && m_pTls->Pending())
        return 1;
    return SocketWaitReadable(m_socket, nSec, nUSec);
}

int CHTTPLayer::Recv(char* pData, int nLength)
{
    if (m_bTls && m_pTls)
        return m_pTls->Recv(pData, nLength);
    return SocketRecv(m_socket, pData, nLength);
}

void CHTTPLayer::Close()
{
    if (m_bTls && m_pTls)
        m_pTls->Shutdown();
    if (m_socket != INVALID_SOCKET) {
        SocketClose(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

bool CHTTPLayer::SendAll(const QByteArray& request)
{
    qsizetype nSent = 0;
    while (nSent < request.size()) {
        const int nChunk = static_cast<int>(std::min<qsizetype>(request.size() - nSent, INT_MAX));
        const int n = m_bTls && m_pTls ? m_pTls->Send(request.constData() + nSent, nChunk, ConnectTimeoutMs())
                                       : SocketSend(m_socket, request.constData() + nSent, nChunk);
        if (n <= 0)
            return false;
        nSent += n;
    }
    return true;
}

HRESULT CHTTPLayer::SendGet(const QByteArray& requestTarget)
{
    if (m_socket == INVALID_SOCKET && Connect(m_nPort) != 0)
        return E_FAIL;
    const QByteArray request = CRequestText::Plain(UpToNul(requestTarget), HostText());
    for (int nAttempt = 0; nAttempt < 2; ++nAttempt) {
        if (SendAll(request))
            return S_OK;
        m_strLastError = QString::asprintf("HTTP: Error while send data WSAErr: %d\n", SocketLastError());
        if (nAttempt == 0) {
            Close();
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            Connect(m_nPort);
        }
    }
    return E_FAIL;
}

HRESULT CHTTPLayer::GetResponse(char* pBuffer, int& nLength, int* pStatus, int nWaitSec, int nWaitUSec)
{
    if (m_socket == INVALID_SOCKET)
        return E_FAIL;
    if (!pBuffer || nLength < kMinResponseBuffer)
        return E_INVALIDARG;

    const int nCapacity = nLength;
    int nReceived = 0;
    HRESULT result = S_OK;
    m_bPeerClosed = false;
    m_bReadToFramedEnd = false;
    const std::int64_t nWaitMs = static_cast<std::int64_t>(nWaitSec) * 1000 + nWaitUSec / 1000;
    const std::int64_t nDeadline = MonotonicMs() + m_nResponseLimitMs;
    for (;;) {
        // Each wait is the given one, but never beyond the limit of the whole response.
        const std::int64_t nLeftMs = nDeadline - MonotonicMs();
        const bool bLimited = nLeftMs < nWaitMs;
        const int nReady = bLimited ? WaitReadable(static_cast<int>(std::max<std::int64_t>(nLeftMs, 0) / 1000),
                                                   static_cast<int>(std::max<std::int64_t>(nLeftMs, 0) % 1000) * 1000)
                                    : WaitReadable(nWaitSec, nWaitUSec);
        if (nReady < 0) {
            // A failed wait (the run was cancelled, say) ends the read as a
            // failed recv would; a blocking recv here could wait for ever.
            m_strLastError = QString::asprintf("HTTP: GetResponse recv socket error WSAErr: %d\n", SocketLastError());
            m_bPeerClosed = true;
            break;
        }
        if (nReady == 0) {
            m_strLastError = bLimited
                ? QStringLiteral("HTTP: GetResponse time limit reached\n")
                : QString::asprintf("HTTP: GetResponse select timeout WSAErr: %d\n", SocketLastError());
            result = S_WAIT_TIMEOUT;
            break;
        }
        if (nReceived + kRecvChunk >= nCapacity) {
            m_strLastError = QStringLiteral("HTTP: GetResponse not enough memory\n");
            result = E_OUTOFMEMORY;
            break;
        }
        const int n = Recv(pBuffer + nReceived, kRecvChunk);
        if (n == CTlsConnection::kWouldBlock)
            continue;  // part of a TLS record: wait for the rest
        if (n == SOCKET_ERROR) {
            m_strLastError = QString::asprintf("HTTP: GetResponse recv socket error WSAErr: %d\n", SocketLastError());
            m_bPeerClosed = true;
            break;
        }
        if (n == 0) {
            m_bPeerClosed = true;
            break;
        }
        nReceived += n;
        // Interim responses (100 Continue and the like) come before the final
        // one and are dropped: the caller gets the final response alone.
        while (const int nInterim = CResponseEnd::InterimLength(pBuffer, nReceived)) {
            std::memmove(pBuffer, pBuffer + nInterim, static_cast<size_t>(nReceived - nInterim));
            std::memset(pBuffer + nReceived - nInterim, 0, static_cast<size_t>(nInterim));
            nReceived -= nInterim;
        }
        const CResponseEnd::Decision end = CResponseEnd::Decide(pBuffer, nReceived);
        if (end.nLength >= 0) {
            if (end.bFramed) {
                // Bytes past the framed end are no part of this response.
                m_bReadToFramedEnd = end.nLength == nReceived;
                std::memset(pBuffer + end.nLength, 0, static_cast<size_t>(nReceived - end.nLength));
                nReceived = end.nLength;
            }
            break;
        }
    }
    pBuffer[nReceived] = '\0';

    int nStatus = 400;
    if ((result == S_OK || result == S_WAIT_TIMEOUT) && nReceived > kMinResponseBuffer)
        result = ParseStatusCode(pBuffer, nReceived, nStatus);
    if (pStatus)
        *pStatus = nStatus;
    nLength = nReceived;
    return result;
}

HRESULT CHTTPLayer::ParseStatusCode(const char* pData, int nLength, int& nStatus)
{
    if (!pData || nLength < kMinResponseBuffer)
        return E_INVALIDARG;
    if (std::memcmp(pData, "HTTP", 4) != 0)
        return E_FAIL;
    int i = 8;
    while (i < nLength && pData[i] != '\0' && (pData[i] < '0' || pData[i] > '9'))
        ++i;
    long long nValue = 0;
    for (; i < nLength && pData[i] >= '0' && pData[i] <= '9'; ++i)
        nValue = std::min<long long>(nValue * 10 + (pData[i] - '0'), INT_MAX);
    nStatus = static_cast<int>(nValue);
    return S_OK;
}

bool CHTTPLayer::ConnectionReusable(const char* pResponse, int nLength) const
{
    // Only a response read exactly to the end its framing gave leaves the
    // connection at the start of the next response; anything else would make
    // the rest of the 401 look like the answer to the credentials.
    if (m_bPeerClosed || !m_bReadToFramedEnd || m_socket == INVALID_SOCKET)
        return false;
    const CResponseHead head(pResponse, nLength);
    if (head.HasToken("Connection", "close"))
        return false;
    if (head.IsHttp10() && !head.HasToken("Connection", "keep-alive"))
        return false;
    return !SocketPeerClosed(m_socket);
}

HRESULT CHTTPLayer::SendRequest(const QByteArray& requestTarget, char* pResponse, int& nLength, int& nStatus,
                                const QByteArray& user, const QByteArray& password)
{
    const QByteArray target = UpToNul(requestTarget);
    m_strAuthProblem.clear();

    Close();
    if (Connect(m_nPort) != 0)
        return E_FAIL;
    HRESULT result = SendGet(target);
    if (result != S_OK) {
        Close();
        return result;
    }

    QByteArray first(kReceiveBufferSize, '\0');
    int nFirst = kReceiveBufferSize;
    result = GetResponse(first.data(), nFirst, &nStatus, m_nTimeoutSec, m_nTimeoutUSec);
    if (result != S_OK) {
        Close();
        return result;
    }
    if (nStatus != 401) {
        CopyToCaller(first.constData(), nFirst, pResponse, nLength);
        Close();
        return S_OK;
    }

    // 401: answer the first challenge we can, once.
    const QList<CAuthChallenge> challenges = CAuthChallenge::ParseResponse(first.constData(), nFirst);
    const CAuthChallenge* pChallenge = CAuthChallenge::FirstAnswerable(challenges);
    if (!pChallenge) {
        m_strAuthProblem = challenges.isEmpty()
            ? QStringLiteral("the 401 offers no challenge")
            : QStringLiteral("no supported challenge among: ") + QString::fromLatin1(CAuthChallenge::Describe(challenges));
        Close();
        return S_OK;
    }
    QByteArray request;
    if (pChallenge->IsBasic()) {
        request = CRequestText::Basic(target, HostText(), Base64EncodeCredentials(UpToNul(user), UpToNul(password)));
    } else {
        CDigestAuth digest;
        if (digest.MakeDigestResponse(target, *pChallenge, UpToNul(user), UpToNul(password), "00000001", QByteArray())
            != S_OK) {
            CopyToCaller(first.constData(), nFirst, pResponse, nLength);
            Close();
            return E_FAIL;
        }
        request = CRequestText::Digest(target, HostText(), digest);
    }

    // The credentials go on the 401's connection while the server keeps it;
    // otherwise, or when it turns out to have been dropped before anything
    // came back, on a new connection to the same host and port.
    bool bReuse = ConnectionReusable(first.constData(), nFirst);
    QByteArray second(kReceiveBufferSize, '\0');
    for (;;) {
        if (!bReuse) {
            Close();
            if (Connect(m_nPort) != 0) {
                Close();
                return S_OK;
            }
        }
        if (!SendAll(request)) {
            if (bReuse) {
                bReuse = false;
                continue;
            }
            Close();
            return S_OK;
        }
        second.fill('\0');
        int nSecond = kReceiveBufferSize;
        nStatus = 0;
        result = GetResponse(second.data(), nSecond, &nStatus, m_nTimeoutSec, m_nTimeoutUSec);
        if (result == S_OK && nSecond == 0 && m_bPeerClosed && bReuse) {
            nStatus = 401;
            bReuse = false;
            continue;
        }
        if (result != S_OK)
            CopyToCaller(first.constData(), nFirst, pResponse, nLength);
        else
            CopyToCaller(second.constData(), nSecond, pResponse, nLength);
        Close();
        return result;
    }
}

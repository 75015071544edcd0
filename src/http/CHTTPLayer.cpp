#include "CHTTPLayer.h"

#include "CAuthAnswer.h"
#include "CPlainTransport.h"
#include "CRequestText.h"
#include "CResponseHead.h"
#include "CResponseReader.h"
#include "CTlsTransport.h"
#include "platform/CFiberLoop.h"
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
void CopyToCaller(const QByteArray& source, char* pTarget, int& nLength)
{
    const int nCapacity = pTarget ? nLength : 0;
    if (nCapacity <= 0) {
        nLength = 0;
        return;
    }
    const int nCopy = static_cast<int>(std::min<qsizetype>(source.size(), nCapacity - 1));
    if (nCopy > 0)
        std::memcpy(pTarget, source.constData(), static_cast<size_t>(nCopy));
    pTarget[nCopy] = '\0';
    nLength = nCopy;
}

// The text of a whole response for a caller's buffer of nCapacity bytes (one
// of them for the NUL): head and body as they are when both fit. Otherwise
// the body's first bytes come first: the head gives up its end for them, as
// much of it as the room left holds, and the blank line closes it, so that
// the body shows whatever the size of the head.
QByteArray TextForCaller(const CResponseParser& response, int nCapacity)
{
    const QByteArray& head = response.Head();
    const QByteArray& body = response.Body();
    const qsizetype nRoom = std::max(nCapacity - 1, 0);
    if (head.size() + body.size() <= nRoom || !head.endsWith("\r\n\r\n"))
        return head + body;
    const qsizetype nBody = std::clamp<qsizetype>(nRoom - 4, 0, body.size());
    QByteArray text = head.left(std::clamp<qsizetype>(nRoom - 4 - nBody, 0, head.size() - 4));
    // A piece ending in a line break would put the blank line too early.
    while (text.endsWith('\r') || text.endsWith('\n'))
        text.chop(1);
    return text + "\r\n\r\n" + body.left(nBody);
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
    if (!SocketResolveIPv4(HostText(), &address)) {
        m_strFailure = QStringLiteral("cannot connect (the host name cannot be resolved)");
        return -1;
    }
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<std::uint16_t>(m_nPort & 0xFFFF));
    socketAddress.sin_addr = address;

    m_socket = SocketCreateTcp();
    if (m_socket == INVALID_SOCKET) {
        m_strLastError = QString::asprintf("HTTP: Allocating socket failed. Error: %d", SocketLastError());
        m_strFailure = QStringLiteral("cannot connect (%1)").arg(SocketErrorText(SocketLastError()));
        return -1;
    }
    SocketSetAbortiveClose(m_socket);
    // An answer's time ends when it arrived, not when this thread next ran.
    SocketSetArrivalTimes(m_socket);
    SocketSetSendTimeout(m_socket, ConnectTimeoutMs());
    const std::int64_t nStart = MonotonicMs();
    if (SocketConnect(m_socket, socketAddress, ConnectTimeoutMs()) != 0) {
        m_strFailure = QStringLiteral("cannot connect (%1)").arg(SocketErrorText(SocketLastError()));
        return -1;
    }
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
        m_pTransport = std::make_unique<CTlsTransport>(*m_pTls, m_socket);
    } else {
        m_pTransport = std::make_unique<CPlainTransport>(m_socket);
    }
    return 0;
}

void CHTTPLayer::SetTls(bool bTls, const CTlsOptions& options)
{
    m_bTls = bTls;
    m_tlsOptions = options;
}

void CHTTPLayer::Close()
{
    m_pTransport.reset();
    if (m_bTls && m_pTls)
        m_pTls->Shutdown();
    if (m_socket != INVALID_SOCKET) {
        SocketClose(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

bool CHTTPLayer::SendAll(const QByteArray& request)
{
    return m_pTransport
        && m_pTransport->SendAll(request.constData(), static_cast<int>(request.size()), ConnectTimeoutMs());
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
            FiberAwareSleepMs(25);
            Connect(m_nPort);
        }
    }
    return E_FAIL;
}

HRESULT CHTTPLayer::ReadResponse(CResponseParser& parser)
{
    m_bPeerEnded = true;
    m_bEndedCleanly = false;
    m_nReadArrivalUs = -1;
    if (m_socket == INVALID_SOCKET || !m_pTransport) {
        m_strFailure = QStringLiteral("no connection");
        return E_FAIL;
    }
    CResponseReader reader(*m_pTransport, m_nTimeoutSec, m_nTimeoutUSec, m_nResponseLimitMs, m_recvBuffer);
    const CResponseReader::EEnd end = reader.Read(parser);
    m_bPeerEnded = reader.PeerEnded();
    m_bEndedCleanly = reader.EndedCleanly();
    m_nReadArrivalUs = reader.ArrivalUs();
    m_strFailure = reader.Reason();
    if (end == CResponseReader::EEnd::Complete)
        return S_OK;
    m_strLastError = QStringLiteral("HTTP: ") + (m_strFailure.isEmpty() ? QStringLiteral("no response in the wait")
                                                                        : m_strFailure) + '\n';
    return end == CResponseReader::EEnd::Timeout ? S_WAIT_TIMEOUT : E_FAIL;
}

bool CHTTPLayer::ConnectionReusable(const CResponseParser& response) const
{
    // Only a response read exactly to the end its framing gave leaves the
    // connection at the start of the next response; anything else would make
    // the rest of the 401 look like the answer to the credentials.
    if (m_bPeerEnded || !m_bEndedCleanly || !m_pTransport)
        return false;
    const QByteArray& headText = response.Head();
    const CResponseHead head(headText.constData(), static_cast<int>(headText.size()));
    if (head.HasToken("Connection", "close"))
        return false;
    if (head.IsHttp10() && !head.HasToken("Connection", "keep-alive"))
        return false;
    // Bytes the device sent behind the 401 (on the socket or held by TLS)
    // would be read as the answer to the credentials: such a connection is
    // not used again, however the 401 ended.
    return !m_pTransport->PeerClosed() && !m_pTransport->HasUnread();
}

HRESULT CHTTPLayer::SendAuthorized(const QByteArray& request, bool bReuse, int nKeep, CResponseParser& parser)
{
    for (;;) {
        if (!bReuse) {
            Close();
            if (Connect(m_nPort) != 0)
                return E_FAIL;
        }
        if (!SendAll(request)) {
            if (bReuse) {
                bReuse = false;
                continue;
            }
            m_strFailure = QStringLiteral("the request with credentials could not be sent");
            return E_FAIL;
        }
        const HRESULT result = ReadResponse(parser);
        if (result == E_FAIL && bReuse && parser.IsEmpty() && m_bPeerEnded) {
            // The kept connection was gone before anything came back.
            parser = CResponseParser(nKeep);
            bReuse = false;
            continue;
        }
        return result;
    }
}

HRESULT CHTTPLayer::SendRequest(const QByteArray& requestTarget, char* pResponse, int& nLength, int& nStatus,
                                const QByteArray& user, const QByteArray& password, bool bUtf8Credentials)
{
    const QByteArray target = UpToNul(requestTarget);
    m_strAuthProblem.clear();
    m_strFailure.clear();
    m_nAnswerArrivalUs = -1;
    nStatus = -1;
    const int nKeep = std::max(nLength, 0);

    Close();
    if (Connect(m_nPort) != 0)
        return E_FAIL;
    if (SendGet(target) != S_OK) {
        m_strFailure = QStringLiteral("the request could not be sent (%1)").arg(SocketErrorText(SocketLastError()));
        Close();
        return E_FAIL;
    }

    CResponseParser first(nKeep);
    HRESULT result = ReadResponse(first);
    nStatus = first.Status();
    if (result != S_OK || nStatus != 401) {
        if (result == S_OK) {
            CopyToCaller(TextForCaller(first, nKeep), pResponse, nLength);
            m_nAnswerArrivalUs = m_nReadArrivalUs;
        }
        Close();
        return result;
    }

    // 401: answer the challenge we prefer, once (twice when the nonce was stale).
    CAuthAnswer auth(target, HostText(), UpToNul(user), UpToNul(password), bUtf8Credentials);
    QByteArray request = auth.Answer(first.Head());
    if (request.isEmpty()) {
        m_strAuthProblem = auth.Problem();
        CopyToCaller(TextForCaller(first, nKeep), pResponse, nLength);
        Close();
        if (auth.Failed())
            return E_FAIL;
        m_nAnswerArrivalUs = m_nReadArrivalUs;
        return S_OK;
    }
    CResponseParser* pLast = &first;
    CResponseParser answers[2] = {CResponseParser(nKeep), CResponseParser(nKeep)};
    for (CResponseParser& answer : answers) {
        // The credentials go on the 401's connection while the server keeps it.
        result = SendAuthorized(request, ConnectionReusable(*pLast), nKeep, answer);
        nStatus = answer.Status();
        pLast = &answer;
        if (result != S_OK || nStatus != 401 || !auth.TakeStaleRetry(answer.Head()))
            break;
        request = auth.Answer(answer.Head());
        if (request.isEmpty())
            break;
    }
    if (result == S_OK) {
        if (nStatus == 401)
            m_strAuthProblem = QStringLiteral("credentials refused");
        CopyToCaller(TextForCaller(*pLast, nKeep), pResponse, nLength);
        m_nAnswerArrivalUs = m_nReadArrivalUs;  // pLast was the last read
    }
    Close();
    return result;
}

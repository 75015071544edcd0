#include "CTlsTransport.h"

#include "CPlainTransport.h"

bool CTlsTransport::SendAll(const char* pData, int nLength, int nWaitMs)
{
    return nLength == 0 || m_tls.Send(pData, nLength, nWaitMs) == nLength;
}

int CTlsTransport::WaitReadable(int nSec, int nUSec)
{
    if (m_tls.Pending())
        return 1;
    const int n = SocketWaitReadable(m_socket, nSec, nUSec);
    if (n < 0)
        m_strProblem = SocketErrorText(SocketLastError());
    return n;
}

int CTlsTransport::Recv(char* pData, int nLength)
{
    const int n = m_tls.Recv(pData, nLength);
    if (n == CTlsConnection::kWouldBlock)
        return kWouldBlock;
    if (n < 0) {
        m_strProblem = m_tls.RecvProblem();
        if (m_strProblem.isEmpty())
            m_strProblem = QStringLiteral("TLS error");
        return kFailed;
    }
    return n;
}

bool CTlsTransport::HasUnread()
{
    // A record may have been read in part, or a whole one may wait decrypted,
    // besides what the socket holds.
    return m_tls.HasUnread() || SocketHasUnreadData(m_socket);
}

bool CTlsTransport::PeerClosed()
{
    // Decrypted data waiting means the stream is still open.
    return !m_tls.Pending() && SocketPeerClosed(m_socket);
}

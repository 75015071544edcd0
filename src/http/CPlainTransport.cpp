#include "CPlainTransport.h"

#include <cerrno>
#include <cstring>

QString SocketErrorText(int nError)
{
    switch (nError) {
    case ECONNRESET:
        return QStringLiteral("connection reset");
    case ECANCELED:
        return QStringLiteral("cancelled");
    default:
        return QString::fromLocal8Bit(std::strerror(nError));
    }
}

bool CPlainTransport::SendAll(const char* pData, int nLength, int /*nWaitMs: the socket's send time-out bounds it*/)
{
    int nSent = 0;
    while (nSent < nLength) {
        const int n = SocketSend(m_socket, pData + nSent, nLength - nSent);
        if (n <= 0)
            return false;
        nSent += n;
    }
    return true;
}

int CPlainTransport::WaitReadable(int nSec, int nUSec)
{
    const int n = SocketWaitReadable(m_socket, nSec, nUSec);
    if (n < 0)
        m_strProblem = SocketErrorText(SocketLastError());
    return n;
}

int CPlainTransport::Recv(char* pData, int nLength)
{
    m_nArrivalUs = -1;
    const int n = SocketRecv(m_socket, pData, nLength, false, &m_nArrivalUs);
    if (n < 0) {
        m_strProblem = SocketErrorText(SocketLastError());
        return kFailed;
    }
    return n;
}

#pragma once

#include "http/ITransport.h"
#include "platform/Sockets.h"

// Plain TCP on a connected socket that stays the caller's.
class CPlainTransport : public ITransport
{
public:
    explicit CPlainTransport(SOCKET s) : m_socket(s) {}

    bool SendAll(const char* pData, int nLength, int nWaitMs) override;
    int WaitReadable(int nSec, int nUSec) override;
    int Recv(char* pData, int nLength) override;
    std::int64_t LastArrivalUs() const override { return m_nArrivalUs; }
    QString RecvProblem() const override { return m_strProblem; }
    bool PeerClosed() override { return SocketPeerClosed(m_socket); }
    bool HasUnread() override { return SocketHasUnreadData(m_socket); }

private:
    SOCKET m_socket;
    QString m_strProblem;
    std::int64_t m_nArrivalUs = -1;
};

// Words for a socket error code: "connection reset", or the system's text.
QString SocketErrorText(int nError);

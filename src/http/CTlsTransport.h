#pragma once

#include "http/CTlsConnection.h"
#include "http/ITransport.h"

// TLS on a connected socket: the session that the handshake set up.
class CTlsTransport : public ITransport
{
public:
    CTlsTransport(CTlsConnection& tls, SOCKET s) : m_tls(tls), m_socket(s) {}

    bool SendAll(const char* pData, int nLength, int nWaitMs) override;
    int WaitReadable(int nSec, int nUSec) override;
    int Recv(char* pData, int nLength) override;
    std::int64_t LastArrivalUs() const override { return m_tls.LastArrivalUs(); }
    QString RecvProblem() const override { return m_strProblem; }
    bool PeerClosed() override;
    bool HasUnread() override;

private:
    CTlsConnection& m_tls;
    SOCKET m_socket;
    QString m_strProblem;
};

#pragma once

#include "platform/Sockets.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

// How certificates of HTTPS devices are checked.
struct CTlsOptions
{
    QString strCaFile;       // trusted besides the system's CAs; empty: none
    bool bInsecure = false;  // accept any certificate

    bool operator==(const CTlsOptions&) const = default;
};

// TLS (1.2 or newer, OpenSSL) on a connected socket of ours. The socket is
// non-blocking while TLS runs on it, and every wait goes through the socket
// layer's bounded, cancellable waits, so the handshake and each record obey
// the same bounds as plain sockets do.
class CTlsConnection
{
public:
    // Recv's result when a record has only partly come: wait and call again.
    static constexpr int kWouldBlock = -2;

    CTlsConnection();
    ~CTlsConnection();
    CTlsConnection(const CTlsConnection&) = delete;
    CTlsConnection& operator=(const CTlsConnection&) = delete;

    // Sets how certificates are checked; the context is made anew when the
    // options change. Every certificate of the CA file is trusted as it
    // stands, an intermediate CA's or a device's own as well as a root's.
    // False, with Problem() set, when the CA file cannot be used.
    bool Configure(const CTlsOptions& options);

    // Whether the file can serve as a CA file: it can be read and holds at
    // least one PEM certificate. If not, false with the reason in *pProblem
    // ("cannot be read: ...", "is empty", "holds no certificate", ...).
    static bool CheckCaFile(const QString& strPath, QString* pProblem);

    // Handshake on the connected socket for the host (SNI, and the name or
    // IP address the certificate must carry; a wildcard there stands for a
    // whole label only), within nTimeoutMs. 0 on success; -1 with Problem()
    // set on failure.
    int Handshake(SOCKET s, const QByteArray& host, int nTimeoutMs);

    // Sends all nLength bytes; each wait for progress is at most nTimeoutMs.
    // The count sent, or SOCKET_ERROR.
    int Send(const char* pData, int nLength, int nTimeoutMs);

    // Decrypted data is waiting: no need to wait on the socket.
    bool Pending() const;
    // Bytes of the device are held in the session: decrypted data, or the
    // part of a record read so far (which Pending() does not count).
    bool HasUnread() const;

    // Up to nLength bytes of data: the count, 0 at the end of the stream,
    // kWouldBlock, or SOCKET_ERROR.
    int Recv(char* pData, int nLength);

    // When the bytes the last Recv returned reached this machine: the
    // kernel's receive time of the segment that completed their record, on
    // the MonotonicUs() clock; -1 when not known.
    std::int64_t LastArrivalUs() const { return m_nArrivalUs; }

    // Why the last Recv failed, in words for the log: "connection reset",
    // or the TLS alert the device sent.
    const QString& RecvProblem() const { return m_strRecvProblem; }

    // Ends the session (close_notify, without waiting); the socket stays.
    void Shutdown();

    // Why the last handshake failed, in words for the log; empty if it did not.
    const QString& Problem() const { return m_strProblem; }
    // The last handshake failed because the certificate was refused.
    bool CertificateRefused() const { return m_bCertificateRefused; }

private:
    struct CContext;
    struct CSession;
    std::unique_ptr<CContext> m_pContext;
    std::unique_ptr<CSession> m_pSession;
    CTlsOptions m_options;
    SOCKET m_nSocket = INVALID_SOCKET;
    bool m_bConfigured = false;
    QString m_strProblem;
    QString m_strRecvProblem;
    std::int64_t m_nArrivalUs = -1;
    bool m_bCertificateRefused = false;
};

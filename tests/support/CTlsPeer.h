#pragma once

#include "CLoopbackListener.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Certificates made at test time: a root CA, an intermediate CA it signs, and
// server certificates signed by either (or self-signed ones), written as PEM
// files into a temporary folder.
class CTestCertificates
{
public:
    struct Leaf
    {
        QString strCertFile;  // the server certificate, then the chain it sends
        QString strKeyFile;
    };

    CTestCertificates();
    ~CTestCertificates();

    // The root CA's certificate.
    const QString& CaFile() const { return m_strCaFile; }
    // The intermediate CA's certificate alone.
    const QString& IntermediateFile() const { return m_strIntermediateFile; }
    // A server certificate for the subject alternative names (such as
    // "IP:127.0.0.1,DNS:localhost"), valid from nFromDays to nToDays around
    // now; signed by the root CA, or by itself.
    Leaf MakeLeaf(const QByteArray& altNames, int nFromDays = -1, int nToDays = 30, bool bSelfSigned = false);
    // A server certificate signed by the intermediate CA; its file holds the
    // intermediate after it, as devices send their chain.
    Leaf MakeIntermediateLeaf(const QByteArray& altNames);

private:
    Leaf WriteLeaf(void* pCert, void* pKey, int nSerial, bool bWithIntermediate);

    QTemporaryDir m_dir;
    QString m_strCaFile;
    QString m_strIntermediateFile;
    void* m_pCaKey = nullptr;              // EVP_PKEY
    void* m_pCaCert = nullptr;             // X509
    void* m_pIntermediateKey = nullptr;    // EVP_PKEY
    void* m_pIntermediateCert = nullptr;   // X509
    int m_nSerial = 1;
};

// An HTTPS peer on loopback: each connection does the TLS handshake with the
// given certificate, then answers each request (up to its blank line) with
// the next of the given answers, keeping the connection open in between.
class CTlsPeer
{
public:
    CTlsPeer(const CTestCertificates::Leaf& leaf, const QList<QByteArray>& answers);
    ~CTlsPeer();
    CTlsPeer(const CTlsPeer&) = delete;
    CTlsPeer& operator=(const CTlsPeer&) = delete;

    int Port() const { return m_listener->Port(); }
    QList<QByteArray> Requests() const;
    // The server names the clients asked for (SNI), one per handshake made,
    // once nCount handshakes have been made (or 5 s have passed).
    QList<QByteArray> ServerNames(int nCount) const;
    // Called on the connection's thread once a request is in, before its
    // answer goes out. Set before the first request.
    void SetBeforeAnswer(std::function<void()> hook)
    {
        std::lock_guard lock(m_mutex);
        m_beforeAnswer = std::move(hook);
    }

private:
    void Serve(int nFd);

    void* m_pCtx = nullptr;  // SSL_CTX
    mutable std::mutex m_mutex;
    QList<QByteArray> m_answers;
    int m_nAnswered = 0;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_serverNames;
    std::function<void()> m_beforeAnswer;  // guarded by m_mutex
    std::unique_ptr<CLoopbackListener> m_listener;
};

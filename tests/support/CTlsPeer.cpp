#include "CTlsPeer.h"


#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace {

EVP_PKEY* NewKey()
{
    return EVP_EC_gen("P-256");
}

// Writes the certificates (null ones skipped) and the key, in that order.
void WritePem(const QString& strPath, std::initializer_list<X509*> certs, EVP_PKEY* pKey)
{
    FILE* pFile = std::fopen(strPath.toLocal8Bit().constData(), "w");
    if (!pFile)
        return;
    for (X509* pCert : certs) {
        if (pCert)
            PEM_write_X509(pFile, pCert);
    }
    if (pKey)
        PEM_write_PrivateKey(pFile, pKey, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(pFile);
}

void AddExtension(X509* pCert, X509* pIssuer, int nNid, const char* pValue)
{
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, pIssuer, pCert, nullptr, nullptr, 0);
    X509_EXTENSION* pExt = X509V3_EXT_conf_nid(nullptr, &ctx, nNid, pValue);
    if (pExt) {
        X509_add_ext(pCert, pExt, -1);
        X509_EXTENSION_free(pExt);
    }
}

X509* NewCertificate(EVP_PKEY* pKey, const char* pCommonName, int nSerial, int nFromDays, int nToDays)
{
    X509* pCert = X509_new();
    X509_set_version(pCert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(pCert), nSerial);
    X509_gmtime_adj(X509_getm_notBefore(pCert), static_cast<long>(nFromDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(pCert), static_cast<long>(nToDays) * 86400);
    X509_set_pubkey(pCert, pKey);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(pCert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(pCommonName), -1, -1, 0);
    return pCert;
}

} // namespace

CTestCertificates::CTestCertificates()
{
    EVP_PKEY* pKey = NewKey();
    X509* pCert = NewCertificate(pKey, "Velkor test CA", m_nSerial++, -1, 30);
    X509_set_issuer_name(pCert, X509_get_subject_name(pCert));
    AddExtension(pCert, pCert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(pCert, pCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    X509_sign(pCert, pKey, EVP_sha256());
    m_strCaFile = m_dir.filePath(QStringLiteral("ca.pem"));
    WritePem(m_strCaFile, {pCert}, nullptr);
    m_pCaKey = pKey;
    m_pCaCert = pCert;

    EVP_PKEY* pMidKey = NewKey();
    X509* pMidCert = NewCertificate(pMidKey, "Velkor test intermediate CA", m_nSerial++, -1, 30);
    X509_set_issuer_name(pMidCert, X509_get_subject_name(pCert));
    AddExtension(pMidCert, pCert, NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    AddExtension(pMidCert, pCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    X509_sign(pMidCert, pKey, EVP_sha256());
    m_strIntermediateFile = m_dir.filePath(QStringLiteral("intermediate.pem"));
    WritePem(m_strIntermediateFile, {pMidCert}, nullptr);
    m_pIntermediateKey = pMidKey;
    m_pIntermediateCert = pMidCert;
}

CTestCertificates::~CTestCertificates()
{
    X509_free(static_cast<X509*>(m_pIntermediateCert));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_pIntermediateKey));
    X509_free(static_cast<X509*>(m_pCaCert));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_pCaKey));
}

CTestCertificates::Leaf CTestCertificates::MakeLeaf(const QByteArray& altNames, int nFromDays, int nToDays,
                                                    bool bSelfSigned)
{
    EVP_PKEY* pKey = NewKey();
    const int nSerial = m_nSerial++;
    X509* pCert = NewCertificate(pKey, "device", nSerial, nFromDays, nToDays);
    X509* pIssuer = bSelfSigned ? pCert : static_cast<X509*>(m_pCaCert);
    X509_set_issuer_name(pCert, X509_get_subject_name(pIssuer));
    AddExtension(pCert, pIssuer, NID_subject_alt_name, altNames.constData());
    AddExtension(pCert, pIssuer, NID_ext_key_usage, "serverAuth");
    X509_sign(pCert, bSelfSigned ? pKey : static_cast<EVP_PKEY*>(m_pCaKey), EVP_sha256());
    return WriteLeaf(pCert, pKey, nSerial, false);
}

CTestCertificates::Leaf CTestCertificates::MakeIntermediateLeaf(const QByteArray& altNames)
{
    EVP_PKEY* pKey = NewKey();
    const int nSerial = m_nSerial++;
    X509* pCert = NewCertificate(pKey, "device", nSerial, -1, 30);
    X509* pIssuer = static_cast<X509*>(m_pIntermediateCert);
    X509_set_issuer_name(pCert, X509_get_subject_name(pIssuer));
    AddExtension(pCert, pIssuer, NID_subject_alt_name, altNames.constData());
    AddExtension(pCert, pIssuer, NID_ext_key_usage, "serverAuth");
    X509_sign(pCert, static_cast<EVP_PKEY*>(m_pIntermediateKey), EVP_sha256());
    return WriteLeaf(pCert, pKey, nSerial, true);
}

// Writes the certificate (with the intermediate after it when asked) and its
// key, and frees both.
CTestCertificates::Leaf CTestCertificates::WriteLeaf(void* pCert, void* pKey, int nSerial, bool bWithIntermediate)
{
    X509* pX509 = static_cast<X509*>(pCert);
    EVP_PKEY* pPkey = static_cast<EVP_PKEY*>(pKey);
    Leaf leaf;
    leaf.strCertFile = m_dir.filePath(QStringLiteral("leaf%1.pem").arg(nSerial));
    leaf.strKeyFile = m_dir.filePath(QStringLiteral("leaf%1.key").arg(nSerial));
    WritePem(leaf.strCertFile, {pX509, bWithIntermediate ? static_cast<X509*>(m_pIntermediateCert) : nullptr},
             nullptr);
    WritePem(leaf.strKeyFile, {}, pPkey);
    X509_free(pX509);
    EVP_PKEY_free(pPkey);
    return leaf;
}

CTlsPeer::CTlsPeer(const CTestCertificates::Leaf& leaf, const QList<QByteArray>& answers)
    : m_answers(answers)
{
    signal(SIGPIPE, SIG_IGN);  // the peer writes with OpenSSL's own socket calls
    SSL_CTX* pCtx = SSL_CTX_new(TLS_server_method());
    // The certificate, and the chain after it in its file.
    SSL_CTX_use_certificate_chain_file(pCtx, leaf.strCertFile.toLocal8Bit().constData());
    SSL_CTX_use_PrivateKey_file(pCtx, leaf.strKeyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM);
    m_pCtx = pCtx;
    m_listener = std::make_unique<CLoopbackListener>([this](int nFd, int) { Serve(nFd); }, 16);
}

CTlsPeer::~CTlsPeer()
{
    m_listener->Stop();
    SSL_CTX_free(static_cast<SSL_CTX*>(m_pCtx));
}

QList<QByteArray> CTlsPeer::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<QByteArray> CTlsPeer::ServerNames(int nCount) const
{
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard lock(m_mutex);
            if (m_serverNames.size() >= nCount)
                return m_serverNames;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard lock(m_mutex);
    return m_serverNames;
}

void CTlsPeer::Serve(int nFd)
{
    // Every blocking call of this connection gives up after 5 s.
    timeval tv{5, 0};
    setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(nFd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    // As HTTPS servers do: the handshake's records and the answer go out at once.
    const int nOn = 1;
    setsockopt(nFd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
    SSL* pSsl = SSL_new(static_cast<SSL_CTX*>(m_pCtx));
    SSL_set_fd(pSsl, nFd);
    if (SSL_accept(pSsl) == 1) {
        {
            std::lock_guard lock(m_mutex);
            const char* pName = SSL_get_servername(pSsl, TLSEXT_NAMETYPE_host_name);
            m_serverNames.append(pName ? QByteArray(pName) : QByteArray());
        }
        QByteArray data;
        char chunk[4096];
        while (!m_listener->Stopping()) {
            const int n = SSL_read(pSsl, chunk, sizeof chunk);
            if (n <= 0)
                break;
            data.append(chunk, n);
            qsizetype nEnd = 0;
            while ((nEnd = data.indexOf("\r\n\r\n")) >= 0) {
                QByteArray answer;
                std::function<void()> beforeAnswer;
                {
                    std::lock_guard lock(m_mutex);
                    m_requests.append(data.left(nEnd + 4));
                    // After the last answer, the last one again.
                    answer = m_answers.value(std::min<qsizetype>(m_nAnswered++, m_answers.size() - 1));
                    beforeAnswer = m_beforeAnswer;
                }
                data.remove(0, nEnd + 4);
                if (beforeAnswer)
                    beforeAnswer();
                if (!answer.isEmpty())
                    SSL_write(pSsl, answer.constData(), static_cast<int>(answer.size()));
            }
        }
        SSL_shutdown(pSsl);
    }
    SSL_free(pSsl);
}

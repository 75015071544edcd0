#include "TlsIdentity.h"

#include <QFile>
#include <QSslSocket>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace devsim {

namespace {

// Whether the PEM key belongs to the first certificate of the PEM file.
bool KeyMatchesCertificate(const QByteArray& certificatePem, const QByteArray& keyPem)
{
    BIO* certificateBio =
        BIO_new_mem_buf(certificatePem.constData(), static_cast<int>(certificatePem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), static_cast<int>(keyPem.size()));
    X509* certificate =
        certificateBio ? PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr) : nullptr;
    // An empty pass phrase: an encrypted key fails instead of asking on the terminal.
    char empty[] = "";
    EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, empty) : nullptr;
    const bool match = certificate && key && X509_check_private_key(certificate, key) == 1;
    EVP_PKEY_free(key);
    X509_free(certificate);
    BIO_free(keyBio);
    BIO_free(certificateBio);
    return match;
}

} // namespace

bool LoadTlsIdentity(const QString& certificatePath, const QString& keyPath, ServerOptions& options,
    QString& error)
{
    if (!QSslSocket::supportsSsl()) {
        error = QStringLiteral("this Qt has no TLS backend");
        return false;
    }
    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(certificatePath, certificateFile.errorString());
        return false;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(keyPath, keyFile.errorString());
        return false;
    }
    const QByteArray certificatePem = certificateFile.readAll();
    const QByteArray keyPem = keyFile.readAll();
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(certificatePem, QSsl::Pem);
    if (certificates.isEmpty() || certificates.front().isNull()) {
        error = QStringLiteral("no PEM certificate in %1").arg(certificatePath);
        return false;
    }
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        key = QSslKey(keyPem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        error = QStringLiteral("no unencrypted PEM private key (RSA, EC or DSA) in %1").arg(keyPath);
        return false;
    }
    if (!KeyMatchesCertificate(certificatePem, keyPem)) {
        error = QStringLiteral("the key in %1 does not belong to the certificate in %2")
                    .arg(keyPath, certificatePath);
        return false;
    }
    options.tlsCertificates = certificates;
    options.tlsKey = key;
    return true;
}

} // namespace devsim

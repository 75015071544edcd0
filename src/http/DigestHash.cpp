#include "DigestHash.h"

#include "Md5.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <random>

bool CDigestHash::Parse(const QByteArray& algorithm, EFunction& function, bool& bSession)
{
    QByteArray name = algorithm.toUpper();
    bSession = name.endsWith("-SESS");
    if (bSession)
        name.chop(5);
    if (name == "MD5")
        function = Md5;
    else if (name == "SHA-256")
        function = Sha256;
    else if (name == "SHA-512-256")
        function = Sha512_256;
    else
        return false;
    return true;
}

QByteArray CDigestHash::Hex(EFunction function, const QByteArray& data)
{
    if (function == Md5)
        return MD5HexString(data);
    const EVP_MD* pMd = function == Sha256 ? EVP_sha256() : EVP_sha512_256();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nDigest = 0;
    if (EVP_Digest(data.constData(), static_cast<size_t>(data.size()), digest, &nDigest, pMd, nullptr) != 1)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(digest), nDigest).toHex();
}

QByteArray CDigestHash::RandomHex(int nBytes)
{
    QByteArray bytes(nBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), nBytes) != 1) {
        std::random_device device;
        for (char& c : bytes)
            c = static_cast<char>(device());
    }
    return bytes.toHex();
}

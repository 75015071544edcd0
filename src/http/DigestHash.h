#pragma once

#include <QByteArray>

// The hash functions that Digest authentication names in its algorithm
// parameter (RFC 7616): MD5 by our own routine, the SHA-2 ones by OpenSSL.
class CDigestHash
{
public:
    enum EFunction { Md5, Sha256, Sha512_256 };

    // Reads an algorithm token, case-insensitively: MD5, MD5-sess, SHA-256,
    // SHA-256-sess, SHA-512-256, SHA-512-256-sess. False for anything else.
    static bool Parse(const QByteArray& algorithm, EFunction& function, bool& bSession);

    // Higher for a stronger function, for choosing among challenges.
    static int Strength(EFunction function) { return static_cast<int>(function); }

    // The digest of data as lower-case hexadecimal text.
    static QByteArray Hex(EFunction function, const QByteArray& data);

    // nBytes random bytes as hexadecimal text, for client nonces.
    static QByteArray RandomHex(int nBytes);
};

#pragma once

#include "HttpRequest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QSet>

#include <deque>
#include <optional>

namespace devsim {

enum class AuthMode { None, Basic, Digest };

// "none", "basic" or "digest" (any case); nothing for other words.
std::optional<AuthMode> ParseAuthMode(QByteArrayView word);

enum class DigestHash { Md5, Sha256, Sha512_256 };

// The algorithm of a Digest challenge: its hash, and whether it is the
// session variant ("-sess"), whose HA1 also takes in the nonce and cnonce.
struct DigestAlgorithm {
    DigestHash hash = DigestHash::Md5;
    bool session = false;

    // "MD5", "SHA-256", "SHA-512-256", each optionally followed by "-sess".
    QByteArray name() const;

    bool operator==(const DigestAlgorithm&) const = default;
};

// One algorithm name, any case; nothing for names the device does not know.
std::optional<DigestAlgorithm> ParseDigestAlgorithm(QByteArrayView name);

// A comma-separated list of different algorithm names, such as "MD5,SHA-256";
// nothing when a name is unknown, repeated, or the list is empty.
std::optional<QList<DigestAlgorithm>> ParseDigestAlgorithms(QByteArrayView text);

// Lower-case hexadecimal MD5 of data.
QByteArray Md5Hex(QByteArrayView data);

// Lower-case hexadecimal digest of data with the given hash.
QByteArray DigestHex(DigestHash hash, QByteArrayView data);

// The Digest response value for method GET-style challenges, with H the hash
// of the algorithm:
// With qop "auth":   H(HA1:nonce:nc:cnonce:qop:HA2)
// With qop empty:    H(HA1:nonce:HA2) (the older form without qop)
// where HA1 = H(user:realm:password), for a session algorithm
// H(H(user:realm:password):nonce:cnonce), and HA2 = H(method:uri).
QByteArray DigestResponse(QByteArrayView user, QByteArrayView realm, QByteArrayView password,
    QByteArrayView method, QByteArrayView uri, QByteArrayView nonce, QByteArrayView nc,
    QByteArrayView cnonce, QByteArrayView qop, DigestAlgorithm algorithm = {});

// Parameters of a Digest Authorization value (after the scheme word):
// key=token or key="quoted string", separated by commas. Keys are lower-cased.
// Nothing when the text is malformed.
std::optional<QMap<QByteArray, QByteArray>> ParseAuthParams(QByteArrayView text);

// Checks the Authorization header of requests and makes the challenges of 401
// replies. Digest nonces are its own: random, and only the most recent ones
// it handed out are accepted. Digest offers one challenge per algorithm, in
// the order given, and accepts an answer in any of them.
class Authenticator {
public:
    static constexpr qsizetype kNonceMemory = 1024;

    Authenticator(AuthMode mode, QByteArray user, QByteArray password,
        QByteArray realm = QByteArrayLiteral("Velkor Device"),
        QList<DigestAlgorithm> algorithms = {DigestAlgorithm{}});

    AuthMode mode() const { return m_mode; }
    const QByteArray& realm() const { return m_realm; }

    // True when the request may be served. Always true in mode None.
    bool Check(const HttpRequest& request) const;

    // Values of the WWW-Authenticate headers for a 401, one header each: for
    // Digest one per algorithm, all with the same fresh nonce. Every
    // parameter but the last is followed by a comma, so a reader that cuts
    // quoted values at the next comma still finds them all.
    QList<QByteArray> Challenges();

    // The first of Challenges(), for the single-challenge modes.
    QByteArray Challenge();

    // For tests: hand out this nonce as if a challenge had carried it.
    void RememberNonce(const QByteArray& nonce);

private:
    bool CheckBasic(const QByteArray& credentials) const;
    bool CheckDigest(const HttpRequest& request, const QByteArray& params) const;

    AuthMode m_mode;
    QByteArray m_user;
    QByteArray m_password;
    QByteArray m_realm;
    QByteArray m_opaque;
    QList<DigestAlgorithm> m_algorithms;
    std::deque<QByteArray> m_nonceOrder;
    QSet<QByteArray> m_nonces;
};

} // namespace devsim

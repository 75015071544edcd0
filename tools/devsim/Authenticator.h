#pragma once

#include "HttpRequest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QSet>

#include <deque>
#include <optional>

namespace devsim {

enum class AuthMode { None, Basic, Digest };

// "none", "basic" or "digest" (any case); nothing for other words.
std::optional<AuthMode> ParseAuthMode(QByteArrayView word);

// Lower-case hexadecimal MD5 of data.
QByteArray Md5Hex(QByteArrayView data);

// The Digest response value for method GET-style challenges.
// With qop "auth":   MD5(HA1:nonce:nc:cnonce:qop:HA2)
// With qop empty:    MD5(HA1:nonce:HA2) (the older form without qop)
// where HA1 = MD5(user:realm:password) and HA2 = MD5(method:uri).
QByteArray DigestResponse(QByteArrayView user, QByteArrayView realm, QByteArrayView password,
    QByteArrayView method, QByteArrayView uri, QByteArrayView nonce, QByteArrayView nc,
    QByteArrayView cnonce, QByteArrayView qop);

// Parameters of a Digest Authorization value (after the scheme word):
// key=token or key="quoted string", separated by commas. Keys are lower-cased.
// Nothing when the text is malformed.
std::optional<QMap<QByteArray, QByteArray>> ParseAuthParams(QByteArrayView text);

// Checks the Authorization header of requests and makes the challenges of 401
// replies. Digest nonces are its own: random, and only the most recent ones
// it handed out are accepted.
class Authenticator {
public:
    static constexpr qsizetype kNonceMemory = 1024;

    Authenticator(AuthMode mode, QByteArray user, QByteArray password,
        QByteArray realm = QByteArrayLiteral("Velkor Device"));

    AuthMode mode() const { return m_mode; }
    const QByteArray& realm() const { return m_realm; }

    // True when the request may be served. Always true in mode None.
    bool Check(const HttpRequest& request) const;

    // Value of the WWW-Authenticate header for a 401; each Digest challenge
    // carries a fresh nonce. Every parameter is followed by a comma, so a reader
    // that cuts values at the next comma still finds them all.
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
    std::deque<QByteArray> m_nonceOrder;
    QSet<QByteArray> m_nonces;
};

} // namespace devsim

#pragma once

#include "http/DigestHash.h"
#include "http/HResult.h"

#include <QByteArray>

class CAuthChallenge;

// The answer to a Digest challenge: MD5 as RFC 2617 has it (and the older form
// of RFC 2069 when the challenge offers no qop), and the algorithms, sessions,
// user hashes and character set of RFC 7616.
class CDigestAuth
{
public:
    // Reads realm, nonce, opaque, qop, algorithm, userhash and charset from
    // the challenge and computes the response digest for a GET of the request
    // target. A null client nonce means: the empty one for plain MD5 (the
    // request devices have always had), a fresh random one for the others.
    // E_FAIL when the realm is missing, the nonce missing or empty, or the
    // algorithm is not one we know; S_OK otherwise.
    HRESULT MakeDigestResponse(const QByteArray& requestTarget, const CAuthChallenge& challenge,
                               const QByteArray& user, const QByteArray& password,
                               const QByteArray& nonceCount, const QByteArray& clientNonce);

    // The user and password given are UTF-8 (they hold characters above
    // U+00FF) rather than one byte per character; a name that is not ASCII
    // then goes as username*.
    void SetCredentialsUtf8(bool bUtf8) { m_bCredentialsUtf8 = bUtf8; }

    // The digest itself: MD5 of HA1:nonce:nc:cnonce:qop:HA2, or of
    // HA1:nonce:HA2 when qop is null.
    static QByteArray ComputeResponse(const QByteArray& ha1, const QByteArray& nonce, const QByteArray& nonceCount,
                                      const QByteArray& clientNonce, const QByteArray& qop,
                                      const QByteArray& ha2, CDigestHash::EFunction function = CDigestHash::Md5);

    // The Authorization field value, starting with "Digest ".
    QByteArray AuthorizationValue() const;

    const QByteArray& Realm() const { return m_realm; }
    const QByteArray& Nonce() const { return m_nonce; }
    const QByteArray& Opaque() const { return m_opaque; }
    bool HasOpaque() const { return m_bHasOpaque; }
    const QByteArray& Qop() const { return m_qop; }  // null when none was offered
    const QByteArray& Response() const { return m_response; }
    const QByteArray& ClientNonce() const { return m_clientNonce; }
    // The user name as it goes on the wire (the hash when userhash is on).
    const QByteArray& UserName() const { return m_userName; }

private:
    QByteArray m_user;
    QByteArray m_userName;
    QByteArray m_algorithm;  // as offered; null when the challenge named none
    bool m_bPlainMd5 = true;
    bool m_bUserHash = false;
    bool m_bUtf8 = false;
    bool m_bCredentialsUtf8 = false;
    QByteArray m_uri;
    QByteArray m_realm;
    QByteArray m_nonce;
    QByteArray m_opaque;
    bool m_bHasOpaque = false;
    QByteArray m_qop;
    QByteArray m_nonceCount;
    QByteArray m_clientNonce;
    QByteArray m_response;
};

#pragma once

#include "http/HResult.h"

#include <QByteArray>

class CAuthChallenge;

// The answer to a Digest challenge with the MD5 algorithm (RFC 2617, and the
// older form of RFC 2069 when the challenge offers no qop).
class CDigestAuth
{
public:
    // Reads realm, nonce, opaque and qop from the challenge and computes the
    // response digest for a GET of the request target. E_FAIL when the realm
    // or the nonce is missing or empty; S_OK otherwise.
    HRESULT MakeDigestResponse(const QByteArray& requestTarget, const CAuthChallenge& challenge,
                               const QByteArray& user, const QByteArray& password,
                               const QByteArray& nonceCount, const QByteArray& clientNonce);

    // The digest itself: MD5 of HA1:nonce:nc:cnonce:qop:HA2, or of
    // HA1:nonce:HA2 when qop is null.
    static QByteArray ComputeResponse(const QByteArray& ha1, const QByteArray& nonce, const QByteArray& nonceCount,
                                      const QByteArray& clientNonce, const QByteArray& qop,
                                      const QByteArray& ha2);

    // The Authorization field value, starting with "Digest ".
    QByteArray AuthorizationValue() const;

    const QByteArray& Realm() const { return m_realm; }
    const QByteArray& Nonce() const { return m_nonce; }
    const QByteArray& Opaque() const { return m_opaque; }
    bool HasOpaque() const { return m_bHasOpaque; }
    const QByteArray& Qop() const { return m_qop; }  // null when none was offered
    const QByteArray& Response() const { return m_response; }

private:
    QByteArray m_user;
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

#include "CDigestAuth.h"

#include "CAuthChallenge.h"
#include "Md5.h"

namespace {

// The qop this client uses from the offered list: "auth" when offered, else
// "auth-int" (whose entity body, for a GET, is empty); null for none.
QByteArray ChooseQop(const CAuthChallenge& challenge)
{
    if (!challenge.HasParam("qop"))
        return QByteArray();
    bool bAuthInt = false;
    for (const QByteArray& item : challenge.Param("qop").split(',')) {
        const QByteArray option = item.trimmed();
        if (option.compare("auth", Qt::CaseInsensitive) == 0)
            return QByteArrayLiteral("auth");
        if (option.compare("auth-int", Qt::CaseInsensitive) == 0)
            bAuthInt = true;
    }
    return bAuthInt ? QByteArrayLiteral("auth-int") : QByteArray();
}

// The inside of a quoted-string: '"' and '\' escaped.
QByteArray Quoted(const QByteArray& value)
{
    QByteArray text;
    text.reserve(value.size() + 2);
    text.append('"');
    for (const char c : value) {
        if (c == '"' || c == '\\')
            text.append('\\');
        text.append(c);
    }
    text.append('"');
    return text;
}

} // namespace

HRESULT CDigestAuth::MakeDigestResponse(const QByteArray& requestTarget, const CAuthChallenge& challenge,
                                        const QByteArray& user, const QByteArray& password,
                                        const QByteArray& nonceCount, const QByteArray& clientNonce)
{
    const QByteArray realm = challenge.Param("realm");
    const QByteArray nonce = challenge.Param("nonce");
    if (realm.isEmpty() || nonce.isEmpty())
        return E_FAIL;

    m_user = user;
    m_uri = requestTarget;
    m_realm = realm;
    m_nonce = nonce;
    m_bHasOpaque = challenge.HasParam("opaque");
    m_opaque = challenge.Param("opaque");
    m_qop = ChooseQop(challenge);
    m_nonceCount = nonceCount;
    m_clientNonce = clientNonce;

    const QByteArray ha1 = MD5HexString(user + ':' + realm + ':' + password);
    QByteArray a2 = "GET:" + requestTarget;
    if (m_qop == "auth-int")
        a2 += ':' + MD5HexString(QByteArray());
    const QByteArray ha2 = MD5HexString(a2);
    m_response = ComputeResponse(ha1, nonce, nonceCount, clientNonce, m_qop, ha2);
    return S_OK;
}

QByteArray CDigestAuth::ComputeResponse(const QByteArray& ha1, const QByteArray& nonce,
                                        const QByteArray& nonceCount, const QByteArray& clientNonce,
                                        const QByteArray& qop, const QByteArray& ha2)
{
    if (qop.isNull())
        return MD5HexString(ha1 + ':' + nonce + ':' + ha2);
    return MD5HexString(ha1 + ':' + nonce + ':' + nonceCount + ':' + clientNonce + ':' + qop + ':' + ha2);
}

QByteArray CDigestAuth::AuthorizationValue() const
{
    QByteArray value = "Digest username=" + Quoted(m_user) + ", realm=" + Quoted(m_realm)
        + ", nonce=" + Quoted(m_nonce) + ", uri=" + Quoted(m_uri) + ", algorithm=\"MD5\", response=\""
        + m_response + '"';
    if (!m_qop.isNull())
        value += ", qop=" + Quoted(m_qop) + ", nc=" + m_nonceCount + ", cnonce=" + Quoted(m_clientNonce);
    if (m_bHasOpaque)
        value += ", opaque=" + Quoted(m_opaque);
    return value;
}

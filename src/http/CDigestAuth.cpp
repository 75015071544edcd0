#include "CDigestAuth.h"

#include "CAuthChallenge.h"
#include "Md5.h"

#include <QString>

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

bool IsAscii(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

HRESULT CDigestAuth::MakeDigestResponse(const QByteArray& requestTarget, const CAuthChallenge& challenge,
                                        const QByteArray& user, const QByteArray& password,
                                        const QByteArray& nonceCount, const QByteArray& clientNonce)
{
    const QByteArray realm = challenge.Param("realm");
    const QByteArray nonce = challenge.Param("nonce");
    // realm="" is a realm (an empty quoted string); a missing one is not.
    if (!challenge.HasParam("realm") || nonce.isEmpty())
        return E_FAIL;
    CDigestHash::EFunction function = CDigestHash::Md5;
    bool bSession = false;
    const bool bNamed = challenge.HasParam("algorithm");
    if (bNamed && !CDigestHash::Parse(challenge.Param("algorithm"), function, bSession))
        return E_FAIL;

    m_algorithm = bNamed ? challenge.Param("algorithm") : QByteArray();
    m_bPlainMd5 = function == CDigestHash::Md5 && !bSession;
    m_bUtf8 = challenge.Param("charset").compare("UTF-8", Qt::CaseInsensitive) == 0;
    m_bUserHash = challenge.Param("userhash").compare("true", Qt::CaseInsensitive) == 0;
    // Our texts hold one character per byte; the UTF-8 charset wants them encoded.
    const bool bRecode = m_bUtf8 && !m_bCredentialsUtf8;
    const QByteArray userText = bRecode ? QString::fromLatin1(user).toUtf8() : user;
    const QByteArray passwordText = bRecode ? QString::fromLatin1(password).toUtf8() : password;
    m_user = userText;
    m_userName = m_bUserHash ? CDigestHash::Hex(function, userText + ':' + realm) : userText;
    m_uri = requestTarget;
    m_realm = realm;
    m_nonce = nonce;
    m_bHasOpaque = challenge.HasParam("opaque");
    m_opaque = challenge.Param("opaque");
    m_qop = ChooseQop(challenge);
    m_nonceCount = nonceCount;
    m_clientNonce = !clientNonce.isNull() ? clientNonce : m_bPlainMd5 ? QByteArray("") : CDigestHash::RandomHex(16);

    QByteArray ha1 = CDigestHash::Hex(function, userText + ':' + realm + ':' + passwordText);
    if (bSession)
        ha1 = CDigestHash::Hex(function, ha1 + ':' + nonce + ':' + m_clientNonce);
    QByteArray a2 = "GET:" + requestTarget;
    if (m_qop == "auth-int")
        a2 += ':' + CDigestHash::Hex(function, QByteArray());
    const QByteArray ha2 = CDigestHash::Hex(function, a2);
    m_response = ComputeResponse(ha1, nonce, nonceCount, m_clientNonce, m_qop, ha2, function);
    return S_OK;
}

QByteArray CDigestAuth::ComputeResponse(const QByteArray& ha1, const QByteArray& nonce,
                                        const QByteArray& nonceCount, const QByteArray& clientNonce,
                                        const QByteArray& qop, const QByteArray& ha2, CDigestHash::EFunction function)
{
    if (qop.isNull())
        return CDigestHash::Hex(function, ha1 + ':' + nonce + ':' + ha2);
    return CDigestHash::Hex(function, ha1 + ':' + nonce + ':' + nonceCount + ':' + clientNonce + ':' + qop + ':' + ha2);
}

QByteArray CDigestAuth::AuthorizationValue() const
{
    // A user name that is not ASCII goes in the extended form (RFC 8187)
    // when it is UTF-8 (the server asked for it, or the name needs it) and
    // no hash hides it.
    const QByteArray userField = (m_bUtf8 || m_bCredentialsUtf8) && !m_bUserHash && !IsAscii(m_userName)
        ? "username*=UTF-8''" + m_userName.toPercentEncoding()
        : "username=" + Quoted(m_userName);
    QByteArray value = "Digest " + userField + ", realm=" + Quoted(m_realm) + ", nonce=" + Quoted(m_nonce)
        + ", uri=" + Quoted(m_uri);
    if (m_bPlainMd5) {
        // The form devices have always been sent: quoted algorithm and qop.
        value += ", algorithm=\"MD5\", response=\"" + m_response + '"';
        if (!m_qop.isNull())
            value += ", qop=" + Quoted(m_qop) + ", nc=" + m_nonceCount + ", cnonce=" + Quoted(m_clientNonce);
    } else {
        value += ", algorithm=" + m_algorithm + ", response=\"" + m_response + '"';
        if (!m_qop.isNull())
            value += ", qop=" + m_qop + ", nc=" + m_nonceCount + ", cnonce=" + Quoted(m_clientNonce);
    }
    if (m_bHasOpaque)
        value += ", opaque=" + Quoted(m_opaque);
    if (m_bUserHash)
        value += ", userhash=true";
    return value;
}

#include "CAuthAnswer.h"

#include "Base64.h"
#include "CAuthChallenge.h"
#include "CDigestAuth.h"
#include "CRequestText.h"

CAuthAnswer::CAuthAnswer(const QByteArray& requestTarget, const QByteArray& host, const QByteArray& user,
                         const QByteArray& password, bool bUtf8)
    : m_target(requestTarget), m_host(host), m_user(user), m_password(password), m_bUtf8(bUtf8)
{
}

QByteArray CAuthAnswer::Answer(const QByteArray& head401)
{
    m_strProblem.clear();
    m_bFailed = false;
    const QList<CAuthChallenge> challenges =
        CAuthChallenge::ParseResponse(head401.constData(), static_cast<int>(head401.size()));
    const CAuthChallenge* pChallenge = CAuthChallenge::Choose(challenges);
    if (!pChallenge) {
        m_strProblem = challenges.isEmpty()
            ? QStringLiteral("the 401 offers no challenge")
            : QStringLiteral("no supported challenge among: ") + QString::fromLatin1(CAuthChallenge::Describe(challenges));
        return QByteArray();
    }
    m_bDigest = pChallenge->IsDigest();
    if (!m_bDigest)
        return CRequestText::Basic(m_target, m_host, Base64EncodeCredentials(m_user, m_password));
    CDigestAuth digest;
    digest.SetCredentialsUtf8(m_bUtf8);
    if (digest.MakeDigestResponse(m_target, *pChallenge, m_user, m_password, "00000001", QByteArray()) != S_OK) {
        m_strProblem = QStringLiteral("the Digest challenge lacks its realm or nonce");
        m_bFailed = true;
        return QByteArray();
    }
    return CRequestText::Digest(m_target, m_host, digest);
}

bool CAuthAnswer::TakeStaleRetry(const QByteArray& head401)
{
    if (!m_bDigest || m_bStaleTaken)
        return false;
    const QList<CAuthChallenge> challenges =
        CAuthChallenge::ParseResponse(head401.constData(), static_cast<int>(head401.size()));
    const CAuthChallenge* pChallenge = CAuthChallenge::Choose(challenges);
    if (!pChallenge || !pChallenge->IsDigest() || pChallenge->Param("stale").compare("true", Qt::CaseInsensitive) != 0)
        return false;
    m_bStaleTaken = true;
    return true;
}

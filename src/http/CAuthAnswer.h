#pragma once

#include <QByteArray>
#include <QString>

// The answer to a 401: the request with credentials for the challenge this
// client prefers (Digest of the strongest hash it knows, else Basic), and one
// more try when the device says the nonce went stale.
class CAuthAnswer
{
public:
    // bUtf8: the user and password are UTF-8 bytes (they hold characters
    // above U+00FF); otherwise one byte per character.
    CAuthAnswer(const QByteArray& requestTarget, const QByteArray& host, const QByteArray& user,
                const QByteArray& password, bool bUtf8);

    // The request answering the 401 whose head is given; empty when there is
    // none to send, with Problem() saying why and Failed() telling whether
    // the command fails for it (a Digest challenge without realm or nonce).
    QByteArray Answer(const QByteArray& head401);

    // A 401 to the credentials whose Digest challenge says stale=true: the
    // credentials were right and the nonce had expired. True once per answer.
    bool TakeStaleRetry(const QByteArray& head401);

    const QString& Problem() const { return m_strProblem; }
    bool Failed() const { return m_bFailed; }

private:
    QByteArray m_target;
    QByteArray m_host;
    QByteArray m_user;
    QByteArray m_password;
    bool m_bUtf8;
    bool m_bDigest = false;
    bool m_bStaleTaken = false;
    QString m_strProblem;
    bool m_bFailed = false;
};

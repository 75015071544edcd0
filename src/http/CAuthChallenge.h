#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One challenge of a WWW-Authenticate header (RFC 7235): a scheme followed by
// either a token68 or a list of auth-params whose values are tokens or quoted
// strings (with backslash escapes).
class CAuthChallenge
{
public:
    // Every challenge of every WWW-Authenticate field in the head of the
    // response, in order. The body is never read.
    static QList<CAuthChallenge> ParseResponse(const char* pData, int nLength);

    // The challenges of one field value; appended to 'challenges'.
    static void ParseFieldValue(const QByteArray& value, QList<CAuthChallenge>& challenges);

    // The challenge this client answers: a Digest challenge with an algorithm
    // it knows (MD5 when none is named), the strongest hash first
    // (SHA-512-256, then SHA-256, then MD5; the first of equals), wherever it
    // stands among the others; Basic only when no Digest can be answered.
    // Null when there is none.
    static const CAuthChallenge* Choose(const QList<CAuthChallenge>& challenges);

    // "Scheme" or "Digest algorithm=X" of each challenge, comma-separated,
    // for telling a user what a device offered.
    static QByteArray Describe(const QList<CAuthChallenge>& challenges);

    bool IsAnswerable() const;

    const QByteArray& Scheme() const { return m_scheme; }
    bool IsBasic() const;
    bool IsDigest() const;

    // The parameter's value, without quotes and escapes; the name is compared
    // without regard to case, and the first occurrence counts.
    bool HasParam(const QByteArray& name) const;
    QByteArray Param(const QByteArray& name) const;

    const QByteArray& Token68() const { return m_token68; }

private:
    int DigestStrength() const;

    QByteArray m_scheme;
    QByteArray m_token68;
    QList<QPair<QByteArray, QByteArray>> m_params;
};

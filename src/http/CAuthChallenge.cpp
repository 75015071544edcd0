#include "CAuthChallenge.h"

#include "DigestHash.h"

#include "CResponseHead.h"

namespace {

bool IsTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken68Char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == '+' || c == '/';
}

// A cursor over one field value.
class CCursor
{
public:
    explicit CCursor(const QByteArray& text)
        : m_text(text)
    {
    }

    bool AtEnd() const { return m_nPos >= m_text.size(); }
    char Peek(qsizetype nAhead = 0) const
    {
        return m_nPos + nAhead < m_text.size() ? m_text[m_nPos + nAhead] : '\0';
    }
    qsizetype Pos() const { return m_nPos; }
    void Seek(qsizetype nPos) { m_nPos = nPos; }
    void Advance() { ++m_nPos; }

    void SkipBlanks()
    {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t'))
            ++m_nPos;
    }

    QByteArray Token()
    {
        const qsizetype nBegin = m_nPos;
        while (!AtEnd() && IsTokenChar(Peek()))
            ++m_nPos;
        return m_text.mid(nBegin, m_nPos - nBegin);
    }

    // A quoted string starting at the opening quote; an unterminated one
    // runs to the end of the value.
    QByteArray QuotedString()
    {
        QByteArray value;
        ++m_nPos;  // opening quote
        while (!AtEnd()) {
            const char c = Peek();
            ++m_nPos;
            if (c == '"')
                break;
            if (c == '\\' && !AtEnd()) {
                value.append(Peek());
                ++m_nPos;
                continue;
            }
            value.append(c);
        }
        return value;
    }

    // Skips to just past the next comma outside quotes (or to the end).
    void SkipElement()
    {
        while (!AtEnd()) {
            if (Peek() == '"') {
                QuotedString();
                continue;
            }
            const char c = Peek();
            ++m_nPos;
            if (c == ',')
                return;
        }
    }

private:
    const QByteArray& m_text;
    qsizetype m_nPos = 0;
};

} // namespace

QList<CAuthChallenge> CAuthChallenge::ParseResponse(const char* pData, int nLength)
{
    QList<CAuthChallenge> challenges;
    const CResponseHead head(pData, nLength);
    for (const QByteArray& value : head.Values("WWW-Authenticate"))
        ParseFieldValue(value, challenges);
    return challenges;
}

void CAuthChallenge::ParseFieldValue(const QByteArray& value, QList<CAuthChallenge>& challenges)
{
    CCursor cursor(value);
    // After "name BWS", is this '=' followed by a parameter value?
    const auto paramValueFollows = [&cursor] {
        if (cursor.Peek() != '=')
            return false;
        qsizetype n = 1;
        while (cursor.Peek(n) == ' ' || cursor.Peek(n) == '\t')
            ++n;
        return cursor.Peek(n) == '"' || IsTokenChar(cursor.Peek(n));
    };

    CAuthChallenge* pCurrent = nullptr;
    for (;;) {
        while (cursor.Peek() == ' ' || cursor.Peek() == '\t' || cursor.Peek() == ',')
            cursor.Advance();
        if (cursor.AtEnd())
            break;
        const qsizetype nStart = cursor.Pos();
        const QByteArray token = cursor.Token();
        if (token.isEmpty()) {
            cursor.SkipElement();  // not a token: skip this element
            continue;
        }
        const qsizetype nAfterToken = cursor.Pos();
        cursor.SkipBlanks();
        if (cursor.Peek() == '=') {
            if (!pCurrent || !paramValueFollows()) {
                cursor.Seek(nStart);  // a parameter before any scheme, or no value
                cursor.SkipElement();
                continue;
            }
            // auth-param = token BWS "=" BWS ( token / quoted-string )
            cursor.Advance();
            cursor.SkipBlanks();
            const QByteArray paramValue = cursor.Peek() == '"' ? cursor.QuotedString() : cursor.Token();
            pCurrent->m_params.append({token, paramValue});
            cursor.SkipBlanks();
            if (!cursor.AtEnd() && cursor.Peek() != ',')
                cursor.SkipElement();  // junk after the value
            continue;
        }
        if (cursor.Pos() == nAfterToken && !cursor.AtEnd() && cursor.Peek() != ',') {
            cursor.Seek(nStart);  // a scheme must be followed by a blank, a comma or the end
            cursor.SkipElement();
            continue;
        }

        // challenge = auth-scheme [ 1*SP ( token68 / #auth-param ) ]
        challenges.append(CAuthChallenge());
        pCurrent = &challenges.last();
        pCurrent->m_scheme = token;
        if (cursor.AtEnd() || cursor.Peek() == ',')
            continue;
        const qsizetype nParamStart = cursor.Pos();
        const QByteArray name = cursor.Token();
        cursor.SkipBlanks();
        const bool bParam = !name.isEmpty() && paramValueFollows();
        cursor.Seek(nParamStart);
        if (bParam)
            continue;  // the loop reads the auth-params
        QByteArray word;
        while (IsToken68Char(cursor.Peek())) {
            word.append(cursor.Peek());
            cursor.Advance();
        }
        while (!word.isEmpty() && cursor.Peek() == '=') {
            word.append('=');
            cursor.Advance();
        }
        cursor.SkipBlanks();
        if (!word.isEmpty() && (cursor.AtEnd() || cursor.Peek() == ','))
            pCurrent->m_token68 = word;
        else {
            cursor.Seek(nParamStart);
            cursor.SkipElement();
        }
    }
}

bool CAuthChallenge::IsAnswerable() const
{
    if (IsBasic())
        return true;
    if (!IsDigest())
        return false;
    CDigestHash::EFunction function = CDigestHash::Md5;
    bool bSession = false;
    return !HasParam("algorithm") || CDigestHash::Parse(Param("algorithm"), function, bSession);
}

int CAuthChallenge::DigestStrength() const
{
    CDigestHash::EFunction function = CDigestHash::Md5;
    bool bSession = false;
    if (HasParam("algorithm"))
        CDigestHash::Parse(Param("algorithm"), function, bSession);
    return CDigestHash::Strength(function);
}

const CAuthChallenge* CAuthChallenge::Choose(const QList<CAuthChallenge>& challenges)
{
    // Digest whatever the order: the strongest hash, the first of equals.
    const CAuthChallenge* pBest = nullptr;
    for (const CAuthChallenge& challenge : challenges)
        if (challenge.IsDigest() && challenge.IsAnswerable()
            && (!pBest || challenge.DigestStrength() > pBest->DigestStrength()))
            pBest = &challenge;
    if (pBest)
        return pBest;
    for (const CAuthChallenge& challenge : challenges)
        if (challenge.IsBasic())
            return &challenge;
    return nullptr;
}

QByteArray CAuthChallenge::Describe(const QList<CAuthChallenge>& challenges)
{
    QByteArrayList names;
    for (const CAuthChallenge& challenge : challenges) {
        QByteArray name = challenge.Scheme();
        if (challenge.IsDigest() && challenge.HasParam("algorithm"))
            name += " algorithm=" + challenge.Param("algorithm");
        names.append(name);
    }
    return names.join(", ");
}

bool CAuthChallenge::IsBasic() const
{
    return m_scheme.compare("Basic", Qt::CaseInsensitive) == 0;
}

bool CAuthChallenge::IsDigest() const
{
    return m_scheme.compare("Digest", Qt::CaseInsensitive) == 0;
}

bool CAuthChallenge::HasParam(const QByteArray& name) const
{
    for (const auto& param : m_params)
        if (param.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QByteArray CAuthChallenge::Param(const QByteArray& name) const
{
    for (const auto& param : m_params)
        if (param.first.compare(name, Qt::CaseInsensitive) == 0)
            return param.second;
    return QByteArray();
}

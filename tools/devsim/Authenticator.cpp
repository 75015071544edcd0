#include "Authenticator.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <openssl/evp.h>

namespace devsim {

namespace {

QByteArray RandomHex(int words)
{
    QByteArray raw;
    for (int i = 0; i < words; ++i) {
        const quint32 value = QRandomGenerator::system()->generate();
        raw.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return raw.toHex();
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Splits "Scheme rest" at the first blank run.
std::pair<QByteArray, QByteArray> SplitScheme(const QByteArray& value)
{
    qsizetype i = 0;
    while (i < value.size() && !IsBlank(value[i]))
        ++i;
    QByteArray scheme = value.left(i);
    while (i < value.size() && IsBlank(value[i]))
        ++i;
    return {scheme, value.mid(i)};
}

// Equal in length and content, looked at whole, so the time taken does not
// tell how much of a guess was right.
bool SameBytes(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

std::optional<AuthMode> ParseAuthMode(QByteArrayView word)
{
    const QByteArray lower = word.toByteArray().toLower();
    if (lower == "none")
        return AuthMode::None;
    if (lower == "basic")
        return AuthMode::Basic;
    if (lower == "digest")
        return AuthMode::Digest;
    return std::nullopt;
}

QByteArray DigestAlgorithm::name() const
{
    QByteArray text;
    switch (hash) {
    case DigestHash::Md5:
        text = "MD5";
        break;
    case DigestHash::Sha256:
        text = "SHA-256";
        break;
    case DigestHash::Sha512_256:
        text = "SHA-512-256";
        break;
    }
    return session ? text + "-sess" : text;
}

std::optional<DigestAlgorithm> ParseDigestAlgorithm(QByteArrayView name)
{
    for (const DigestHash hash : {DigestHash::Md5, DigestHash::Sha256, DigestHash::Sha512_256}) {
        for (const bool session : {false, true}) {
            const DigestAlgorithm algorithm{hash, session};
            if (name.compare(algorithm.name(), Qt::CaseInsensitive) == 0)
                return algorithm;
        }
    }
    return std::nullopt;
}

std::optional<QList<DigestAlgorithm>> ParseDigestAlgorithms(QByteArrayView text)
{
    QList<DigestAlgorithm> algorithms;
    for (const QByteArray& name : text.toByteArray().split(',')) {
        const auto algorithm = ParseDigestAlgorithm(name.trimmed());
        if (!algorithm || algorithms.contains(*algorithm))
            return std::nullopt;
        algorithms.append(*algorithm);
    }
    return algorithms;
}

QByteArray Md5Hex(QByteArrayView data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QByteArray DigestHex(DigestHash hash, QByteArrayView data)
{
    const EVP_MD* md = nullptr;
    switch (hash) {
    case DigestHash::Md5:
        return Md5Hex(data);
    case DigestHash::Sha256:
        md = EVP_sha256();
        break;
    case DigestHash::Sha512_256:
        md = EVP_sha512_256();
        break;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (md == nullptr
        || EVP_Digest(data.data(), static_cast<size_t>(data.size()), out, &length, md, nullptr) != 1)
        qFatal("devsim: the %s digest is not available", DigestAlgorithm{hash, false}.name().constData());
    return QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(length)).toHex();
}

QByteArray DigestResponse(QByteArrayView user, QByteArrayView realm, QByteArrayView password,
    QByteArrayView method, QByteArrayView uri, QByteArrayView nonce, QByteArrayView nc,
    QByteArrayView cnonce, QByteArrayView qop, DigestAlgorithm algorithm)
{
    auto h = [&](const QByteArray& data) { return DigestHex(algorithm.hash, data); };
    QByteArray ha1 = h(user.toByteArray() + ':' + realm.toByteArray() + ':' + password.toByteArray());
    if (algorithm.session)
        ha1 = h(ha1 + ':' + nonce.toByteArray() + ':' + cnonce.toByteArray());
    const QByteArray ha2 = h(method.toByteArray() + ':' + uri.toByteArray());
    if (qop.isEmpty())
        return h(ha1 + ':' + nonce.toByteArray() + ':' + ha2);
    return h(ha1 + ':' + nonce.toByteArray() + ':' + nc.toByteArray() + ':' + cnonce.toByteArray()
        + ':' + qop.toByteArray() + ':' + ha2);
}

std::optional<QMap<QByteArray, QByteArray>> ParseAuthParams(QByteArrayView text)
{
    QMap<QByteArray, QByteArray> params;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipSeparators = [&] {
        while (i < n && (IsBlank(text[i]) || text[i] == ','))
            ++i;
    };
    skipSeparators();
    while (i < n) {
        const qsizetype keyStart = i;
        while (i < n && text[i] != '=' && text[i] != ',' && !IsBlank(text[i]))
            ++i;
        const QByteArray key = text.sliced(keyStart, i - keyStart).toByteArray().toLower();
        while (i < n && IsBlank(text[i]))
            ++i;
        if (key.isEmpty() || i >= n || text[i] != '=')
            return std::nullopt;
        ++i;
        while (i < n && IsBlank(text[i]))
            ++i;
        QByteArray value;
        if (i < n && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                const char c = text[i++];
                if (c == '\\' && i < n) {
                    value.append(text[i++]);
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value.append(c);
                }
            }
            if (!closed)
                return std::nullopt;
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != ',' && !IsBlank(text[i]))
                ++i;
            value = text.sliced(valueStart, i - valueStart).toByteArray();
        }
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i < n && text[i] != ',')
            return std::nullopt;
        if (params.contains(key))
            return std::nullopt;
        params.insert(key, value);
        skipSeparators();
    }
    return params;
}

Authenticator::Authenticator(AuthMode mode, QByteArray user, QByteArray password, QByteArray realm,
    QList<DigestAlgorithm> algorithms)
    : m_mode(mode)
    , m_user(std::move(user))
    , m_password(std::move(password))
    , m_realm(std::move(realm))
    , m_opaque(RandomHex(4))
    , m_algorithms(std::move(algorithms))
{
    if (m_algorithms.isEmpty())
        m_algorithms.append(DigestAlgorithm{});
}

bool Authenticator::Check(const HttpRequest& request) const
{
    if (m_mode == AuthMode::None)
        return true;
    if (!request.hasHeader("Authorization"))
        return false;
    const auto [scheme, rest] = SplitScheme(request.header("Authorization"));
    if (m_mode == AuthMode::Basic && scheme.compare("Basic", Qt::CaseInsensitive) == 0)
        return CheckBasic(rest);
    if (m_mode == AuthMode::Digest && scheme.compare("Digest", Qt::CaseInsensitive) == 0)
        return CheckDigest(request, rest);
    return false;
}

bool Authenticator::CheckBasic(const QByteArray& credentials) const
{
    const auto decoded = QByteArray::fromBase64Encoding(
        credentials.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    return SameBytes(*decoded, m_user + ':' + m_password);
}

bool Authenticator::CheckDigest(const HttpRequest& request, const QByteArray& text) const
{
    const auto parsed = ParseAuthParams(text);
    if (!parsed)
        return false;
    const QMap<QByteArray, QByteArray>& p = *parsed;
    for (const char* key : {"username", "realm", "nonce", "uri", "response"}) {
        if (!p.contains(key))
            return false;
    }
    if (p.value("username") != m_user || p.value("realm") != m_realm)
        return false;
    if (!m_nonces.contains(p.value("nonce")))
        return false;
    // The uri parameter must name what the request line asked for.
    if (p.value("uri") != request.target)
        return false;
    // No algorithm named is MD5; whatever is named must have been offered.
    const auto algorithm = p.contains("algorithm") ? ParseDigestAlgorithm(p.value("algorithm"))
                                                   : std::optional<DigestAlgorithm>(DigestAlgorithm{});
    if (!algorithm || !m_algorithms.contains(*algorithm))
        return false;
    const QByteArray qop = p.value("qop");
    if (!qop.isEmpty()) {
        if (qop != "auth" || !p.contains("nc") || !p.contains("cnonce"))
            return false;
    } else if (algorithm->session) {
        // The session variants hash the client nonce, which comes with qop only.
        return false;
    }
    const QByteArray expected = DigestResponse(m_user, m_realm, m_password, request.method,
        p.value("uri"), p.value("nonce"), p.value("nc"), p.value("cnonce"), qop, *algorithm);
    return SameBytes(expected, p.value("response").toLower());
}

QList<QByteArray> Authenticator::Challenges()
{
    if (m_mode == AuthMode::Basic)
        return {"Basic realm=\"" + m_realm + "\""};
    const QByteArray nonce = RandomHex(4);
    RememberNonce(nonce);
    QList<QByteArray> values;
    for (const DigestAlgorithm& algorithm : std::as_const(m_algorithms)) {
        values.append("Digest realm=\"" + m_realm + "\", qop=\"auth\", nonce=\"" + nonce
            + "\", opaque=\"" + m_opaque + "\", algorithm=" + algorithm.name());
    }
    return values;
}

QByteArray Authenticator::Challenge()
{
    return Challenges().front();
}

void Authenticator::RememberNonce(const QByteArray& nonce)
{
    if (m_nonces.contains(nonce))
        return;
    m_nonceOrder.push_back(nonce);
    m_nonces.insert(nonce);
    while (static_cast<qsizetype>(m_nonceOrder.size()) > kNonceMemory) {
        m_nonces.remove(m_nonceOrder.front());
        m_nonceOrder.pop_front();
    }
}

} // namespace devsim

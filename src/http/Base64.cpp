#include "Base64.h"

QByteArray Base64Encode(const QByteArray& data)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    QByteArray text;
    text.reserve((n + 2) / 3 * 4);
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned(p[i]) << 16) | (unsigned(p[i + 1]) << 8) | unsigned(p[i + 2]);
        text.append(kAlphabet[(v >> 18) & 63]);
        text.append(kAlphabet[(v >> 12) & 63]);
        text.append(kAlphabet[(v >> 6) & 63]);
        text.append(kAlphabet[v & 63]);
    }
    if (n - i == 1) {
        const unsigned v = unsigned(p[i]) << 16;
        text.append(kAlphabet[(v >> 18) & 63]);
        text.append(kAlphabet[(v >> 12) & 63]);
        text.append("==");
    } else if (n - i == 2) {
        const unsigned v = (unsigned(p[i]) << 16) | (unsigned(p[i + 1]) << 8);
        text.append(kAlphabet[(v >> 18) & 63]);
        text.append(kAlphabet[(v >> 12) & 63]);
        text.append(kAlphabet[(v >> 6) & 63]);
        text.append('=');
    }
    return text;
}

QByteArray Base64EncodeCredentials(const QByteArray& user, const QByteArray& password)
{
    return Base64Encode(user + ':' + password);
}

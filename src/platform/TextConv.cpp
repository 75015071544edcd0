#include "TextConv.h"

#include <QStringDecoder>

#include <climits>

QByteArray WideToLatin1(const QString& strText, int nMaxBytes)
{
    QByteArray bytes;
    bytes.reserve(strText.size());
    for (const QChar ch : strText) {
        if (ch.unicode() > 0xFF || (nMaxBytes >= 0 && bytes.size() >= nMaxBytes))
            break;
        bytes.append(char(ch.unicode()));
    }
    return bytes;
}

bool NeedsUtf8(const QString& strText)
{
    for (const QChar ch : strText)
        if (ch.unicode() > 0xFF)
            return true;
    return false;
}

QByteArray CredentialBytes(const QString& strText, int nMaxBytes, bool bUtf8)
{
    if (!bUtf8)
        return WideToLatin1(strText, nMaxBytes);
    QByteArray bytes = strText.toUtf8();
    if (nMaxBytes >= 0 && bytes.size() > nMaxBytes) {
        qsizetype nCut = nMaxBytes;
        while (nCut > 0 && (static_cast<unsigned char>(bytes[nCut]) & 0xC0) == 0x80)
            --nCut;  // back to the first byte of the character that does not fit
        bytes.truncate(nCut);
    }
    return bytes;
}

QString Latin1ToWide(const QByteArray& bytes)
{
    const qsizetype nEnd = bytes.indexOf('\0');
    return QString::fromLatin1(nEnd < 0 ? bytes : bytes.left(nEnd));
}

QByteArray WideToRequestTarget(const QString& strTarget)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray bytes;
    bytes.reserve(strTarget.size());
    const qsizetype n = strTarget.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = strTarget[i].unicode();
        if (c <= 0x20 || c == 0x7F) {
            // A blank or a control character would end or break the
            // request line.
            bytes.append('%').append(kHex[c >> 4]).append(kHex[c & 0xF]);
            continue;
        }
        if (c <= 0xFF) {
            bytes.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && strTarget[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), strTarget[++i].unicode());
        else if (QChar::isSurrogate(c))
            c = 0xFFFD;
        char utf8[4];
        int nBytes = 0;
        if (c < 0x800) {
            utf8[nBytes++] = char(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            utf8[nBytes++] = char(0xE0 | (c >> 12));
            utf8[nBytes++] = char(0x80 | ((c >> 6) & 0x3F));
        } else {
            utf8[nBytes++] = char(0xF0 | (c >> 18));
            utf8[nBytes++] = char(0x80 | ((c >> 12) & 0x3F));
            utf8[nBytes++] = char(0x80 | ((c >> 6) & 0x3F));
        }
        utf8[nBytes++] = char(0x80 | (c & 0x3F));
        for (int b = 0; b < nBytes; ++b) {
            const auto byte = static_cast<unsigned char>(utf8[b]);
            bytes.append('%').append(kHex[byte >> 4]).append(kHex[byte & 0xF]);
        }
    }
    return bytes;
}

namespace {

bool DecodeUtf8(const QByteArray& bytes, QString& strText)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    strText = decoder.decode(bytes);
    return !decoder.hasError();
}

// Bytes at the end that start a UTF-8 sequence without finishing it.
qsizetype BrokenTailLength(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype nBack = 1; nBack <= 3 && nBack <= n; ++nBack) {
        const auto byte = static_cast<unsigned char>(bytes[n - nBack]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation byte: look further back
        const int nNeeded = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return nNeeded > nBack ? nBack : 0;
    }
    return 0;
}

}  // namespace

QString Utf8OrLatin1ToWide(const QByteArray& bytes, bool bCut)
{
    QString strText;
    if (DecodeUtf8(bytes, strText))
        return strText;
    const qsizetype nTail = bCut ? BrokenTailLength(bytes) : 0;
    if (nTail > 0 && DecodeUtf8(bytes.chopped(nTail), strText))
        return strText;
    return QString::fromLatin1(bytes);
}

int ReadLeadingInt(const QString& strText)
{
    qsizetype i = 0;
    const qsizetype n = strText.size();
    auto isSpace = [](QChar ch) {
        const char16_t c = ch.unicode();
        return c == u' ' || (c >= u'\t' && c <= u'\r');
    };
    while (i < n && isSpace(strText[i]))
        ++i;
    bool bNegative = false;
    if (i < n && (strText[i] == u'+' || strText[i] == u'-')) {
        bNegative = strText[i] == u'-';
        ++i;
    }
    long long nValue = 0;
    for (; i < n && strText[i] >= u'0' && strText[i] <= u'9'; ++i) {
        nValue = nValue * 10 + (strText[i].unicode() - u'0');
        if (nValue > static_cast<long long>(INT_MAX) + 1)
            nValue = static_cast<long long>(INT_MAX) + 1;  // saturate; the sign decides below
    }
    if (bNegative)
        return nValue > static_cast<long long>(INT_MAX) ? INT_MIN : -static_cast<int>(nValue);
    return nValue > INT_MAX ? INT_MAX : static_cast<int>(nValue);
}

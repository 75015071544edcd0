#include "TextConv.h"

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

QString Latin1ToWide(const QByteArray& bytes)
{
    const qsizetype nEnd = bytes.indexOf('\0');
    return QString::fromLatin1(nEnd < 0 ? bytes : bytes.left(nEnd));
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

#include "SplitCommandUrl.h"

#include "CCommandItem.h"

#include "platform/TextConv.h"

#include <QRegularExpression>

namespace {

// What every password written into a URL is shown as.
const QString kMask = QStringLiteral("***");

QString PercentDecoded(const QString& strText)
{
    return Utf8OrLatin1ToWide(QByteArray::fromPercentEncoding(strText.toUtf8()));
}

}  // namespace

int SplitCommandUrl(QString strLine, QString& strHost, QString& strPort, QString& strUri, bool* pHttps,
                    SUrlUserInfo* pUserInfo)
{
    static const QString kScheme = QStringLiteral("http://");
    static const QString kSecureScheme = QStringLiteral("https://");
    static const QString kRoot = QStringLiteral("httpapi");

    // A fragment is the client's own and never goes on the wire; blanks at
    // the end of the line would end up inside the request line.
    const qsizetype nFragment = strLine.indexOf(QLatin1Char('#'));
    if (nFragment >= 0)
        strLine.truncate(nFragment);
    while (!strLine.isEmpty() && (strLine.back() == QLatin1Char(' ') || strLine.back() == QLatin1Char('\t')))
        strLine.chop(1);

    const qsizetype nPlain = strLine.indexOf(kScheme);
    const qsizetype nSecure = strLine.indexOf(kSecureScheme);
    if ((nPlain < 0 && nSecure < 0) || !strLine.contains(kRoot))
        return -1;
    // The scheme that occurs first in the line decides.
    const bool bHttps = nSecure >= 0 && (nPlain < 0 || nSecure < nPlain);

    // The target starts one character before the root word, so whatever
    // stands between the host part and it is not sent.
    const qsizetype nRoot = strLine.indexOf(kRoot);
    strUri = strLine.mid(nRoot > 0 ? nRoot - 1 : 0);

    // The first seven characters (eight for https) are dropped whatever they are.
    const QString strRest = strLine.mid(bHttps ? kSecureScheme.size() : kScheme.size());
    const qsizetype nSlash = strRest.indexOf(QLatin1Char('/'));
    QString strHostPort = nSlash > 0 ? strRest.left(nSlash) : QString();

    // "user:password@" before the host: the last "@" ends it, so that an
    // "@" of the password needs no escape.
    SUrlUserInfo userInfo;
    const qsizetype nAt = strHostPort.lastIndexOf(QLatin1Char('@'));
    if (nAt >= 0) {
        const QString strUserInfo = strHostPort.left(nAt);
        strHostPort = strHostPort.mid(nAt + 1);
        const qsizetype nUserEnd = strUserInfo.indexOf(QLatin1Char(':'));
        userInfo.bPresent = true;
        userInfo.strTyped = strUserInfo;
        userInfo.strUser = PercentDecoded(nUserEnd < 0 ? strUserInfo : strUserInfo.left(nUserEnd));
        if (nUserEnd >= 0)
            userInfo.strPassword = PercentDecoded(strUserInfo.mid(nUserEnd + 1));
    }

    const qsizetype nColon = strHostPort.indexOf(QLatin1Char(':'));
    if (nColon >= 0) {
        strHost = strHostPort.left(nColon);
        strPort = strHostPort.mid(nColon + 1);
    } else {
        strHost = strHostPort;
        strPort = bHttps ? QStringLiteral("443") : QStringLiteral("80");
    }
    if (pHttps != nullptr)
        *pHttps = bHttps;
    if (pUserInfo != nullptr)
        *pUserInfo = userInfo;
    return 0;
}

int PortNumber(const QString& strPort)
{
    if (strPort.isEmpty())
        return 0;
    int nPort = 0;
    for (const QChar ch : strPort) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return 0;
        nPort = nPort * 10 + (ch.unicode() - u'0');
        if (nPort > 65535)
            return 0;
    }
    return nPort;
}

QString BadPortReason() { return QStringLiteral("bad port (a number from 1 to 65535)"); }

QString MaskUrlPasswords(const QString& strText)
{
    // The user name ends at the first ":", the password at the last "@"
    // before the path, as SplitCommandUrl reads them.
    static const QRegularExpression password(QStringLiteral("(https?://[^/:]*:)[^/]*@"));
    QString strMasked = strText;
    return strMasked.replace(password, QStringLiteral("\\1") + kMask + QLatin1Char('@'));
}

QString MaskedUserInfo(const SUrlUserInfo& userInfo)
{
    const qsizetype nUserEnd = userInfo.strTyped.indexOf(QLatin1Char(':'));
    return nUserEnd < 0 ? userInfo.strTyped : userInfo.strTyped.left(nUserEnd + 1) + kMask;
}

QString ShownCommandUrl(const CCommandItem& item)
{
    const QString strUserInfo =
        item.m_userInfo.bPresent ? MaskedUserInfo(item.m_userInfo) + QLatin1Char('@') : QString();
    return QStringLiteral("%1://%2%3:%4%5")
        .arg(item.m_bHttps ? QStringLiteral("https") : QStringLiteral("http"), strUserInfo, item.m_strIP,
             item.m_strPort, item.m_strUri);
}

#include "SplitCommandUrl.h"

int SplitCommandUrl(QString strLine, QString& strHost, QString& strPort, QString& strUri, bool* pHttps)
{
    static const QString kScheme = QStringLiteral("http://");
    static const QString kSecureScheme = QStringLiteral("https://");
    static const QString kRoot = QStringLiteral("httpapi");

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
    const QString strHostPort = nSlash > 0 ? strRest.left(nSlash) : QString();

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
    return 0;
}

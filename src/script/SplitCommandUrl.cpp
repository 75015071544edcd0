#include "SplitCommandUrl.h"

int SplitCommandUrl(QString strLine, QString& strHost, QString& strPort, QString& strUri)
{
    static const QString kScheme = QStringLiteral("http://");
    static const QString kRoot = QStringLiteral("httpapi");

    if (!strLine.contains(kScheme) || !strLine.contains(kRoot))
        return -1;

    // The target starts one character before the root word, so whatever
    // stands between the host part and it is not sent.
    const qsizetype nRoot = strLine.indexOf(kRoot);
    strUri = strLine.mid(nRoot > 0 ? nRoot - 1 : 0);

    // The first seven characters are dropped whatever they are.
    const QString strRest = strLine.mid(kScheme.size());
    const qsizetype nSlash = strRest.indexOf(QLatin1Char('/'));
    const QString strHostPort = nSlash > 0 ? strRest.left(nSlash) : QString();

    const qsizetype nColon = strHostPort.indexOf(QLatin1Char(':'));
    if (nColon >= 0) {
        strHost = strHostPort.left(nColon);
        strPort = strHostPort.mid(nColon + 1);
    } else {
        strHost = strHostPort;
        strPort = QStringLiteral("80");
    }
    return 0;
}

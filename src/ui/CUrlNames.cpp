#include "CUrlNames.h"

#include <algorithm>

void CUrlNames::Clear()
{
    m_urls.clear();
    m_names.clear();
    m_hashByPath.clear();
}

QString CUrlNames::Origin(const QString& strUrl)
{
    const qsizetype nHost = strUrl.indexOf(QLatin1String("://"));
    return nHost < 0 ? QString() : strUrl.left(strUrl.indexOf(QLatin1Char('/'), nHost + 3));
}

std::vector<int> CUrlNames::Add(const QString& strUrl)
{
    std::vector<int> vecChanged;
    const int nUrl = Count();
    m_urls << strUrl;
    const qsizetype nHost = strUrl.indexOf(QLatin1String("://"));
    if (nHost < 0) {
        m_names << strUrl;
        return vecChanged;
    }
    const qsizetype nPath = strUrl.indexOf(QLatin1Char('/'), nHost + 3);
    const QString strPath = nPath < 0 ? QString() : strUrl.mid(nPath);
    SPath& same = m_hashByPath[strPath];
    // Two URLs of one path differ in their origins: each is a twin. Only the
    // first of them was named by its path alone until now.
    if (same.nUrls == 0) {
        same.nFirst = nUrl;
        m_names << (strPath.isEmpty() ? QStringLiteral("/") : strPath);
    } else {
        m_names << strUrl.mid(nHost + 3);
        if (same.nUrls == 1) {
            const QString& strFirst = m_urls[same.nFirst];
            m_names[same.nFirst] = strFirst.mid(strFirst.indexOf(QLatin1String("://")) + 3);
            vecChanged.push_back(same.nFirst);
        }
    }
    ++same.nUrls;
    return vecChanged;
}

QString CUrlNames::Cut(const QString& strName, const QFontMetrics& metrics, int nWidth)
{
    if (metrics.horizontalAdvance(strName) <= nWidth)
        return strName;
    const qsizetype nQuery = strName.indexOf(QLatin1Char('?'));
    if (nQuery < 0)
        return metrics.elidedText(strName, Qt::ElideMiddle, nWidth);
    const qsizetype nLast = std::max(strName.lastIndexOf(QLatin1Char('&')), nQuery) + 1;
    const QString strTail = QStringLiteral("\u2026") + strName.mid(nLast);
    const int nRoom = nWidth - metrics.horizontalAdvance(strTail);
    if (nRoom < 0)
        return metrics.elidedText(strName, Qt::ElideLeft, nWidth);
    // The longest start that fits beside it.
    qsizetype nLow = 0;
    qsizetype nHigh = nLast;
    while (nLow < nHigh) {
        const qsizetype nMid = (nLow + nHigh + 1) / 2;
        if (metrics.horizontalAdvance(strName.left(nMid)) <= nRoom)
            nLow = nMid;
        else
            nHigh = nMid - 1;
    }
    return strName.left(nLow) + strTail;
}

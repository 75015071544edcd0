#include "CUrlNames.h"

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
    const QString strOrigin = Origin(strUrl);
    if (strOrigin.isEmpty()) {
        m_names << strUrl;
        return vecChanged;
    }
    const QString strPath = strUrl.mid(strOrigin.size());
    const QString strWithHost = strUrl.mid(strUrl.indexOf(QLatin1String("://")) + 3);
    std::vector<int>& vecSame = m_hashByPath[strPath];
    // Two URLs of one path differ in their origins: each is a twin. Only the
    // first of them was named by its path alone until now.
    if (vecSame.empty()) {
        m_names << (strPath.isEmpty() ? QStringLiteral("/") : strPath);
    } else {
        m_names << strWithHost;
        if (vecSame.size() == 1) {
            const int nFirst = vecSame.front();
            const QString& strFirst = m_urls[nFirst];
            m_names[nFirst] = strFirst.mid(strFirst.indexOf(QLatin1String("://")) + 3);
            vecChanged.push_back(nFirst);
        }
    }
    vecSame.push_back(nUrl);
    return vecChanged;
}

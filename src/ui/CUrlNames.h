#pragma once

#include <QFontMetrics>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// The short names of a run's URLs, as the legend, the filter and the request
// list show them: a URL by its path and query; with its host and port (no
// scheme) when another of the URLs has the same path and query on another
// host or port. A URL without "scheme://" stays whole. Adding a URL costs
// the same however many came before: the URLs are filed by path and query.
class CUrlNames {
public:
    void Clear();
    // Adds URL number Count(); returns the numbers of the earlier URLs whose
    // name it changed (a twin's, now shown with its host and port).
    std::vector<int> Add(const QString& strUrl);
    int Count() const { return int(m_urls.size()); }
    const QStringList& Urls() const { return m_urls; }
    const QStringList& Names() const { return m_names; }
    QString Name(int nUrl) const { return m_names.value(nUrl); }

    // "scheme://host:port" of a URL; empty without "://".
    static QString Origin(const QString& strUrl);
    // A name cut to nWidth pixels: the names of a sweep differ at the end of
    // their query (the preset number), so a name with a query keeps its last
    // parameter whole, cut before it ("/httpapi/Se…PTZ_PRESET_GOTO=10"), or,
    // in less room, as much of its end as fits ("…=10"). Without a query,
    // cut in the middle.
    static QString Cut(const QString& strName, const QFontMetrics& metrics, int nWidth);

private:
    QStringList m_urls;
    QStringList m_names;
    // Path and query -> the first URL with it, and how many have it.
    struct SPath {
        int nFirst = 0;
        int nUrls = 0;
    };
    QHash<QString, SPath> m_hashByPath;
};

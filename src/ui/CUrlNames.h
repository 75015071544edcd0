#pragma once

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

private:
    QStringList m_urls;
    QStringList m_names;
    // Path and query -> the URLs with it, in the order added.
    QHash<QString, std::vector<int>> m_hashByPath;
};

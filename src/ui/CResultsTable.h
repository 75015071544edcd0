#pragma once

#include "engine/CRunStatistics.h"

#include <QString>
#include <QStringList>
#include <QTableWidget>

#include <cstdint>
#include <vector>

// The statistics of a run: a row per URL, in the order the run first used
// each, and a last row "Total". A time figure is empty when no request of
// the row had a time; the mean has two decimals. The URL cell carries the
// colour of the URL's line in the chart.
class CResultsTable : public QTableWidget {
public:
    explicit CResultsTable(QWidget* pParent = nullptr);

    void Show(const CRunStatisticsSnapshot& snapshot);

    // The column captions, and a row's cells as the table shows them.
    static QStringList Columns();
    static QStringList Cells(const CUrlStatistics& figures, const QString& strName);
    // The table as CSV (RFC 4180: CRLF line ends, a field with a comma, a
    // quote or a line break in quotes), a line of captions first.
    static QString Csv(const CRunStatisticsSnapshot& snapshot);

    static constexpr int kMostRowsShown = 6;

private:
    // Each URL row's count as last written.
    std::vector<std::uint64_t> m_vecShownCounts;
};

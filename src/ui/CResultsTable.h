#pragma once

#include "engine/CRunStatistics.h"

#include <QString>
#include <QStringList>
#include <QTableView>

class CResultsTableModel;

// The statistics of a run: a first row "Total", then a row per URL in the
// order the run first used each, shown by its path and query. A time figure is empty when no request of
// the row had a time; the mean has two decimals. The URL cell carries the
// colour of the URL's line in the chart. Only the rows in view are drawn,
// and the columns keep widths set from the captions and the total, so a
// run of many URLs costs no more than a few.
class CResultsTable : public QTableView {
public:
    explicit CResultsTable(QWidget* pParent = nullptr);

    // Shows the snapshot, which must stay until the next Show.
    void Show(const CRunStatisticsSnapshot& snapshot);

    int RowCount() const;
    // A row's cells as shown.
    QStringList Row(int nRow) const;

    // The column captions, and a row's cells as the table shows them.
    static QStringList Columns();
    static QStringList Cells(const CUrlStatistics& figures, const QString& strName);
    // The table as CSV (RFC 4180: CRLF line ends, a field with a comma, a
    // quote or a line break in quotes), a line of captions first.
    static QString Csv(const CRunStatisticsSnapshot& snapshot);

    static constexpr int kMostRowsShown = 6;
    // The URL column is at least this many characters wide: a camera's
    // usual path and query whole, a fleet's host:port before it cut in the
    // middle.
    static constexpr int kLeastUrlChars = 56;
    int LeastUrlWidth() const;

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void FitUrlColumn();
    void FitHeight();
    void FitColumns(const CUrlStatistics& total);

    CResultsTableModel* m_pModel = nullptr;  // child object
    CRunStatisticsSnapshot m_empty;
};

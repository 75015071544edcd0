#pragma once

#include "CResultsListener.h"

#include "CUrlNames.h"

#include <QAbstractTableModel>
#include <QIODevice>
#include <QStringList>

#include <cstddef>
#include <vector>

// Every request of the last run, a row each, for the results window's
// request list: its number, when it started (ms since the run started), the
// URL (shown by its path and query, as the chart's legend names it; whole in
// its tooltip and the CSV), the status, the response time and the outcome. A filter shows all of
// them, the failed ones (by the run's verdict), the slow ones, or one URL's.
// The rows are kept as numbers into the requests, so a long run (hundreds
// of thousands) stays cheap to hold, to filter and to append to.
class CRequestListModel : public QAbstractTableModel {
public:
    using SPoint = CResultsListener::SPoint;

    enum class EFilter { All, Failed, Slow, Url, Checks };
    enum EColumn { kIndex, kAt, kUrl, kStatus, kTime, kOutcome, kColumns };

    explicit CRequestListModel(QObject* pParent = nullptr);

    void Clear();
    // The run's next URL; its number is the count of URLs before it.
    // Returns the earlier URLs whose short name it changed.
    std::vector<int> AddUrl(const QString& strUrl);
    // Appends requests (in the order they were made); the rows the filter
    // lets through are added.
    void Append(const std::vector<SPoint>& points);
    // Takes a whole run's requests at once in place of the ones held (its
    // URLs added before): one reset of the list rather than rows added.
    // allRows: 0, 1, ... for each of them, made elsewhere, the rows of the
    // filter that shows all requests (taken when it is the one chosen).
    void Adopt(std::vector<SPoint>&& points, std::vector<std::size_t>&& allRows);

    void SetFilter(EFilter eFilter, int nUrl = -1);
    EFilter Filter() const { return m_eFilter; }
    int FilterUrl() const { return m_nFilterUrl; }

    // All requests, as the run made them.
    const std::vector<SPoint>& Requests() const { return m_vecPoints; }
    const QStringList& Urls() const { return m_names.Urls(); }
    // The URLs' short names, as the list shows them.
    const CUrlNames& Names() const { return m_names; }
    // The request on row nRow; nullptr off the rows.
    const SPoint* RequestAt(int nRow) const;
    // The row of the request numbered nIndex; -1 when the filter hides it.
    int RowOf(int nIndex) const;

    // A row's cells as the list shows them.
    QString Cell(const SPoint& point, int nColumn) const;
    QStringList Cells(const SPoint& point) const;
    static QStringList Columns();
    // The rows as the list shows them, as CSV (RFC 4180), captions first.
    QString Csv() const;
    bool WriteCsv(QIODevice& device) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation, int nRole = Qt::DisplayRole) const override;

private:
    bool Passes(const SPoint& point) const;
    // The rows the filter lets through, made anew.
    void FilterRows();

    std::vector<SPoint> m_vecPoints;
    std::vector<std::size_t> m_vecRows;  // positions in m_vecPoints, ascending
    CUrlNames m_names;
    EFilter m_eFilter = EFilter::All;
    int m_nFilterUrl = -1;
};

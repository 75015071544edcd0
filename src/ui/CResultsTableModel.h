#pragma once

#include "CUrlNames.h"
#include "engine/CRunStatistics.h"

#include <QAbstractTableModel>

// The rows of the results window's statistics: "Total" first, where it is
// seen however many URLs follow, then a row per URL. A URL is shown by its
// short name (its path and query; with host and port for a twin on another
// device), whole in its tooltip. The cells are made as the view asks for them (the rows in view),
// so a run of many URLs costs the table no more than a few.
class CResultsTableModel : public QAbstractTableModel {
public:
    explicit CResultsTableModel(QObject* pParent = nullptr) : QAbstractTableModel(pParent) {}

    // Shows the snapshot, which must stay until the next Show. Rows of the
    // same run are added at the end (before "Total"); another run's table
    // is made anew.
    void Show(const CRunStatisticsSnapshot* pSnapshot);
    const CUrlStatistics& Figures(int nRow) const;
    // The row's URL whole, or "Total".
    QString Name(int nRow) const;
    // The row's URL as the table shows it, or "Total".
    QString ShortName(int nRow) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation, int nRole = Qt::DisplayRole) const override;

private:
    bool IsUrl(int nRow) const;

    const CRunStatisticsSnapshot* m_pSnapshot = nullptr;
    CRunStatisticsSnapshot m_empty;
    std::size_t m_nUrls = 0;     // URL rows shown
    QString m_strFirstUrl;       // the first row's URL, to tell another run
    CUrlNames m_names;           // the URL rows' short names
};

#include "CResultsTableModel.h"

#include "CResponseTimeChart.h"
#include "engine/StatisticsTable.h"

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QPixmap>

namespace {

// One icon per colour, shared by the rows of that colour.
QIcon Swatch(int nRow)
{
    static QHash<QRgb, QIcon> hashIcons;
    const QColor colour = CResponseTimeChart::UrlColour(nRow);
    auto it = hashIcons.find(colour.rgb());
    if (it == hashIcons.end()) {
        QPixmap pixmap(12, 12);
        pixmap.fill(colour);
        it = hashIcons.insert(colour.rgb(), QIcon(pixmap));
    }
    return *it;
}

}  // namespace

void CResultsTableModel::Show(const CRunStatisticsSnapshot* pSnapshot)
{
    const CRunStatisticsSnapshot& snapshot = pSnapshot ? *pSnapshot : m_empty;
    const std::size_t nUrls = snapshot.vecUrls.size();
    const QString strFirst = nUrls > 0 ? snapshot.vecUrls.front().strUrl : QString();
    const bool bSameRun = nUrls >= m_nUrls && (m_nUrls == 0 || strFirst == m_strFirstUrl);
    if (!bSameRun) {
        beginResetModel();
        m_pSnapshot = &snapshot;
        m_nUrls = nUrls;
        m_strFirstUrl = strFirst;
        m_names.Clear();
        for (const CUrlStatistics& figures : snapshot.vecUrls)
            m_names.Add(figures.strUrl);
        endResetModel();
        return;
    }
    if (nUrls > m_nUrls) {
        // Below the total, which stays the first row.
        beginInsertRows(QModelIndex(), int(m_nUrls) + 1, int(nUrls));
        m_pSnapshot = &snapshot;
        for (std::size_t nUrl = m_nUrls; nUrl < nUrls; ++nUrl)
            m_names.Add(snapshot.vecUrls[nUrl].strUrl);
        m_nUrls = nUrls;
        m_strFirstUrl = strFirst;
        endInsertRows();
    }
    m_pSnapshot = &snapshot;
    // One signal for every row: the view draws again the rows in view.
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

bool CResultsTableModel::IsUrl(int nRow) const { return nRow >= 1 && std::size_t(nRow) <= m_nUrls; }

const CUrlStatistics& CResultsTableModel::Figures(int nRow) const
{
    const CRunStatisticsSnapshot& snapshot = m_pSnapshot ? *m_pSnapshot : m_empty;
    return IsUrl(nRow) ? snapshot.vecUrls[std::size_t(nRow) - 1] : snapshot.total;
}

QString CResultsTableModel::Name(int nRow) const
{
    return IsUrl(nRow) ? Figures(nRow).strUrl : QStringLiteral("Total");
}

QString CResultsTableModel::ShortName(int nRow) const
{
    return IsUrl(nRow) ? m_names.Name(nRow - 1) : QStringLiteral("Total");
}

int CResultsTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_nUrls) + 1;
}

int CResultsTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(StatisticsTable::Columns().size());
}

QVariant CResultsTableModel::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const bool bTotal = !IsUrl(index.row());
    switch (nRole) {
    case Qt::DisplayRole:
        return StatisticsTable::Cells(Figures(index.row()), ShortName(index.row())).value(index.column());
    case Qt::TextAlignmentRole:
        return int(Qt::AlignVCenter | (StatisticsTable::IsNumeric(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
    case Qt::FontRole:
        if (bTotal) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return QVariant();
    case Qt::DecorationRole:
        return index.column() == 0 && !bTotal ? QVariant(Swatch(index.row() - 1)) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == 0 && !bTotal ? QVariant(Name(index.row())) : QVariant();
    default:
        return QVariant();
    }
}

QVariant CResultsTableModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation == Qt::Horizontal && nRole == Qt::DisplayRole)
        return StatisticsTable::Columns().value(nSection);
    return QAbstractTableModel::headerData(nSection, orientation, nRole);
}

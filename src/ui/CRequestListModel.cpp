#include "CRequestListModel.h"

#include "report/CsvText.h"

#include <QBuffer>

#include <algorithm>

CRequestListModel::CRequestListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

void CRequestListModel::Clear()
{
    beginResetModel();
    m_vecPoints.clear();
    m_vecRows.clear();
    m_names.Clear();
    // A URL's filter names a URL of the last run only.
    if (m_eFilter == EFilter::Url) {
        m_eFilter = EFilter::All;
        m_nFilterUrl = -1;
    }
    endResetModel();
}

std::vector<int> CRequestListModel::AddUrl(const QString& strUrl)
{
    // A new URL may make another's short name longer.
    std::vector<int> vecChanged = m_names.Add(strUrl);
    if (!vecChanged.empty() && !m_vecRows.empty())
        emit dataChanged(index(0, kUrl), index(rowCount() - 1, kUrl));
    return vecChanged;
}

bool CRequestListModel::Passes(const SPoint& point) const
{
    switch (m_eFilter) {
    case EFilter::All:
        return true;
    case EFilter::Failed:
        return !point.bPass;
    case EFilter::Slow:
        return point.outcome == ERequestOutcome::Slow;
    case EFilter::Url:
        return point.nUrl == m_nFilterUrl;
    case EFilter::Checks:
        return point.bCheckFailed;
    }
    return true;
}

void CRequestListModel::Append(const std::vector<SPoint>& points)
{
    if (points.empty())
        return;
    const std::size_t nFirst = m_vecPoints.size();
    m_vecPoints.insert(m_vecPoints.end(), points.begin(), points.end());
    std::vector<std::size_t> added;
    for (std::size_t nAt = nFirst; nAt < m_vecPoints.size(); ++nAt)
        if (Passes(m_vecPoints[nAt]))
            added.push_back(nAt);
    if (added.empty())
        return;
    const int nRow = int(m_vecRows.size());
    beginInsertRows(QModelIndex(), nRow, nRow + int(added.size()) - 1);
    m_vecRows.insert(m_vecRows.end(), added.begin(), added.end());
    endInsertRows();
}

void CRequestListModel::Adopt(std::vector<SPoint>&& points, std::vector<std::size_t>&& allRows)
{
    beginResetModel();
    // The requests and rows held before go with the caller's vectors.
    m_vecPoints.swap(points);
    if (m_eFilter == EFilter::All && allRows.size() == m_vecPoints.size())
        m_vecRows.swap(allRows);
    else
        FilterRows();
    endResetModel();
}

void CRequestListModel::SetFilter(EFilter eFilter, int nUrl)
{
    beginResetModel();
    m_eFilter = eFilter;
    m_nFilterUrl = eFilter == EFilter::Url ? nUrl : -1;
    FilterRows();
    endResetModel();
}

void CRequestListModel::FilterRows()
{
    m_vecRows.clear();
    if (m_eFilter == EFilter::All) {
        m_vecRows.resize(m_vecPoints.size());
        for (std::size_t nAt = 0; nAt < m_vecPoints.size(); ++nAt)
            m_vecRows[nAt] = nAt;
        return;
    }
    for (std::size_t nAt = 0; nAt < m_vecPoints.size(); ++nAt)
        if (Passes(m_vecPoints[nAt]))
            m_vecRows.push_back(nAt);
}

const CRequestListModel::SPoint* CRequestListModel::RequestAt(int nRow) const
{
    if (nRow < 0 || std::size_t(nRow) >= m_vecRows.size())
        return nullptr;
    return &m_vecPoints[m_vecRows[std::size_t(nRow)]];
}

int CRequestListModel::RowOf(int nIndex) const
{
    // Rows are in the order of the requests' numbers.
    const auto it = std::lower_bound(m_vecRows.begin(), m_vecRows.end(), nIndex,
                                     [this](std::size_t nAt, int n) { return m_vecPoints[nAt].nIndex < n; });
    if (it == m_vecRows.end() || m_vecPoints[*it].nIndex != nIndex)
        return -1;
    return int(it - m_vecRows.begin());
}

QStringList CRequestListModel::Columns()
{
    return {QStringLiteral("#"),      QStringLiteral("At (ms)"),           QStringLiteral("URL"),
            QStringLiteral("Status"), QStringLiteral("Response (ms)"), QStringLiteral("Outcome")};
}

QString CRequestListModel::Cell(const SPoint& point, int nColumn) const
{
    switch (nColumn) {
    case kIndex:
        return QString::number(point.nIndex);
    case kAt:
        return QString::number(point.nAtMs);
    case kUrl:
        return m_names.Urls().value(point.nUrl);
    case kStatus:
        return point.nStatus < 0 ? QString() : QString::number(point.nStatus);
    case kTime:
        return point.outcome == ERequestOutcome::NotSent ? QString() : QString::number(point.nTimeMs);
    case kOutcome: {
        QString strOutcome = QLatin1String(OutcomeName(point.outcome));
        // A response the run's rules fail (a slow one, a status) says so.
        if (point.bCheckFailed)
            strOutcome += QStringLiteral(", check failed");
        else if (!point.bPass && (point.outcome == ERequestOutcome::Ok || point.outcome == ERequestOutcome::Slow))
            strOutcome += QStringLiteral(", failed");
        return strOutcome;
    }
    default:
        return {};
    }
}

QStringList CRequestListModel::Cells(const SPoint& point) const
{
    QStringList cells;
    for (int nColumn = 0; nColumn < kColumns; ++nColumn)
        cells << Cell(point, nColumn);
    return cells;
}

QString CRequestListModel::Csv() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteCsv(buffer);
    return QString::fromUtf8(buffer.data());
}

bool CRequestListModel::WriteCsv(QIODevice& device) const
{
    // In pieces: a long run's CSV is never held whole.
    constexpr std::size_t kRowsPerPiece = 2000;
    QString strPiece = CsvRecord(Columns());
    for (std::size_t nRow = 0; nRow < m_vecRows.size(); ++nRow) {
        strPiece += CsvRecord(Cells(m_vecPoints[m_vecRows[nRow]]));
        if ((nRow + 1) % kRowsPerPiece == 0) {
            if (device.write(strPiece.toUtf8()) < 0)
                return false;
            strPiece.clear();
        }
    }
    return device.write(strPiece.toUtf8()) >= 0;
}

int CRequestListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_vecRows.size());
}

int CRequestListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CRequestListModel::data(const QModelIndex& index, int nRole) const
{
    const SPoint* pPoint = RequestAt(index.row());
    if (pPoint == nullptr || index.column() < 0 || index.column() >= kColumns)
        return {};
    switch (nRole) {
    case Qt::DisplayRole:
        // The URL by its path and query, as the chart's legend names it.
        return index.column() == kUrl ? m_names.Names().value(pPoint->nUrl) : Cell(*pPoint, index.column());
    case Qt::ToolTipRole:
        return index.column() == kUrl ? QVariant(m_names.Urls().value(pPoint->nUrl)) : QVariant();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignVCenter | (index.column() == kUrl || index.column() == kOutcome ? Qt::AlignLeft
                                                                                            : Qt::AlignRight));
    default:
        return {};
    }
}

QVariant CRequestListModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation == Qt::Horizontal && nRole == Qt::DisplayRole)
        return Columns().value(nSection);
    return QAbstractTableModel::headerData(nSection, orientation, nRole);
}

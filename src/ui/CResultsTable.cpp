#include "CResultsTable.h"

#include "CResponseTimeChart.h"
#include "CsvText.h"
#include "engine/StatisticsTable.h"

#include <QHash>
#include <QHeaderView>
#include <QPixmap>

#include <algorithm>

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

CResultsTable::CResultsTable(QWidget* pParent) : QTableWidget(0, int(Columns().size()), pParent)
{
    setObjectName(QStringLiteral("statistics"));
    setHorizontalHeaderLabels(Columns());
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    Show(CRunStatisticsSnapshot());
}

QStringList CResultsTable::Columns() { return StatisticsTable::Columns(); }

QStringList CResultsTable::Cells(const CUrlStatistics& figures, const QString& strName)
{
    return StatisticsTable::Cells(figures, strName);
}

QString CResultsTable::Csv(const CRunStatisticsSnapshot& snapshot)
{
    QString strCsv = CsvRecord(Columns());
    for (const CUrlStatistics& figures : snapshot.vecUrls)
        strCsv += CsvRecord(Cells(figures, figures.strUrl));
    strCsv += CsvRecord(Cells(snapshot.total, QStringLiteral("Total")));
    return strCsv;
}

void CResultsTable::Show(const CRunStatisticsSnapshot& snapshot)
{
    const int nRows = int(snapshot.vecUrls.size()) + 1;
    // A new run's table, or the same run's with more rows: only the rows
    // whose counts moved are written again (and the total, at the end).
    if (nRows < rowCount() || snapshot.vecUrls.empty())
        m_vecShownCounts.clear();
    if (rowCount() != nRows)
        setRowCount(nRows);
    m_vecShownCounts.resize(snapshot.vecUrls.size(), ~std::uint64_t(0));
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const bool bTotal = nRow == nRows - 1;
        if (!bTotal) {
            std::uint64_t& nShown = m_vecShownCounts[std::size_t(nRow)];
            const QTableWidgetItem* pUrl = item(nRow, 0);
            if (nShown == snapshot.vecUrls[std::size_t(nRow)].nCount && pUrl != nullptr &&
                pUrl->toolTip() == snapshot.vecUrls[std::size_t(nRow)].strUrl)
                continue;
            nShown = snapshot.vecUrls[std::size_t(nRow)].nCount;
        }
        const CUrlStatistics& figures = bTotal ? snapshot.total : snapshot.vecUrls[std::size_t(nRow)];
        const QStringList cells = Cells(figures, bTotal ? QStringLiteral("Total") : figures.strUrl);
        for (int nColumn = 0; nColumn < columnCount(); ++nColumn) {
            QTableWidgetItem* pItem = item(nRow, nColumn);
            if (!pItem) {
                pItem = new QTableWidgetItem;
                setItem(nRow, nColumn, pItem);
            }
            pItem->setText(cells[nColumn]);
            pItem->setTextAlignment(Qt::AlignVCenter |
                                    (StatisticsTable::IsNumeric(nColumn) ? Qt::AlignRight : Qt::AlignLeft));
            QFont font = pItem->font();
            font.setBold(bTotal);
            pItem->setFont(font);
        }
        QTableWidgetItem* pUrl = item(nRow, 0);
        pUrl->setIcon(bTotal ? QIcon() : Swatch(nRow));
        pUrl->setToolTip(bTotal ? QString() : figures.strUrl);
    }
    // As high as its rows, up to a few; more scroll.
    const int nShown = std::min(nRows, kMostRowsShown);
    setFixedHeight(horizontalHeader()->sizeHint().height() + nShown * verticalHeader()->defaultSectionSize() +
                   2 * frameWidth() + 2);
}

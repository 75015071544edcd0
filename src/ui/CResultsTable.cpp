#include "CResultsTable.h"

#include "CResponseTimeChart.h"
#include "CsvText.h"
#include "engine/StatisticsTable.h"

#include <QHeaderView>
#include <QPixmap>

#include <algorithm>

namespace {

QIcon Swatch(const QColor& colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(colour);
    return QIcon(pixmap);
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
    setRowCount(nRows);
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const bool bTotal = nRow == nRows - 1;
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
        pUrl->setIcon(bTotal ? QIcon() : Swatch(CResponseTimeChart::UrlColour(nRow)));
        pUrl->setToolTip(bTotal ? QString() : figures.strUrl);
    }
    // As high as its rows, up to a few; more scroll.
    const int nShown = std::min(nRows, kMostRowsShown);
    setFixedHeight(horizontalHeader()->sizeHint().height() + nShown * verticalHeader()->defaultSectionSize() +
                   2 * frameWidth() + 2);
}

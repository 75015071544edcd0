#include "CResultsTable.h"

#include "CResultsTableModel.h"
#include "report/CsvText.h"
#include "engine/StatisticsTable.h"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

CResultsTable::CResultsTable(QWidget* pParent) : QTableView(pParent)
{
    setObjectName(QStringLiteral("statistics"));
    m_pModel = new CResultsTableModel(this);
    setModel(m_pModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    verticalHeader()->hide();
    // Rows of one height, columns of set widths: nothing measures each of
    // many rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // The URL column takes the room the figures leave, but never less than
    // a readable name: on a narrow screen the figures scroll instead.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Figures start as narrow as five digits and grow to their captions
    // (FitColumns): the header's default of 100 px each left a fleet's
    // host:port/path/query cut to a few characters.
    horizontalHeader()->setDefaultSectionSize(fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    Show(m_empty);
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

int CResultsTable::RowCount() const { return m_pModel->rowCount(); }

QStringList CResultsTable::Row(int nRow) const
{
    return nRow >= 0 && nRow < RowCount() ? Cells(m_pModel->Figures(nRow), m_pModel->ShortName(nRow)) : QStringList();
}

void CResultsTable::FitColumns(const CUrlStatistics& total)
{
    // Each figure's column as wide as its caption or the total's figure
    // (the largest count), with room for a few more digits.
    const QStringList captions = Columns();
    const QStringList cells = Cells(total, QStringLiteral("Total"));
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    for (int nColumn = 1; nColumn < captions.size(); ++nColumn) {
        const int nWidth = std::max({horizontalHeader()->fontMetrics().horizontalAdvance(captions[nColumn]) + 16,
                                     boldMetrics.horizontalAdvance(cells.value(nColumn)) + 16,
                                     fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16});
        if (horizontalHeader()->sectionSize(nColumn) < nWidth)
            horizontalHeader()->resizeSection(nColumn, nWidth);
    }
}

int CResultsTable::LeastUrlWidth() const
{
    // Measured on lower-case letters: a font's average character is
    // narrower than a URL's.
    return fontMetrics().horizontalAdvance(QString(kLeastUrlChars, QLatin1Char('n'))) + 24;
}

void CResultsTable::FitUrlColumn()
{
    int nFigures = 0;
    for (int nColumn = 1; nColumn < model()->columnCount(); ++nColumn)
        nFigures += horizontalHeader()->sectionSize(nColumn);
    horizontalHeader()->resizeSection(0, std::max(LeastUrlWidth(), viewport()->width() - nFigures));
}

void CResultsTable::resizeEvent(QResizeEvent* pEvent)
{
    QTableView::resizeEvent(pEvent);
    FitUrlColumn();
    FitHeight();
}

void CResultsTable::FitHeight()
{
    // As high as its rows, up to a few (more scroll), and the horizontal
    // scroll bar's height more when the columns are wider than the table:
    // the bar would otherwise cover the last row.
    int nColumns = 0;
    for (int nColumn = 0; nColumn < model()->columnCount(); ++nColumn)
        nColumns += horizontalHeader()->sectionSize(nColumn);
    const int nRoom = width() - 2 * frameWidth() -
                      (RowCount() > kMostRowsShown ? verticalScrollBar()->sizeHint().width() : 0);
    const int nBar = nColumns > nRoom ? horizontalScrollBar()->sizeHint().height() : 0;
    const int nShown = std::min(RowCount(), kMostRowsShown);
    setFixedHeight(horizontalHeader()->sizeHint().height() + nShown * verticalHeader()->defaultSectionSize() + nBar +
                   2 * frameWidth() + 2);
}

void CResultsTable::Show(const CRunStatisticsSnapshot& snapshot)
{
    m_pModel->Show(&snapshot);
    FitColumns(snapshot.total);
    FitUrlColumn();
    FitHeight();
}

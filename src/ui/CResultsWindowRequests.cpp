// The results window's request list: its tab, its filter and count, and
// a request picked in the list or on the chart.
#include "CResultsWindow.h"

#include "CRequestListModel.h"
#include "CResponseTimeChart.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

QWidget* CResultsWindow::NewRequestsPage()
{
    m_pRequests = new CRequestListModel(this);
    m_pRequestList = new QTableView;
    m_pRequestList->setObjectName(QStringLiteral("requests"));
    m_pRequestList->setModel(m_pRequests);
    m_pRequestList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pRequestList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pRequestList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pRequestList->setWordWrap(false);
    m_pRequestList->setTextElideMode(Qt::ElideMiddle);
    m_pRequestList->verticalHeader()->hide();
    // Rows of one height, columns of set widths: nothing measures each of a
    // long run's rows.
    m_pRequestList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pRequestList->verticalHeader()->setDefaultSectionSize(m_pRequestList->fontMetrics().height() + 6);
    QHeaderView* pColumns = m_pRequestList->horizontalHeader();
    pColumns->setSectionResizeMode(QHeaderView::Interactive);
    for (int nColumn = 0; nColumn < CRequestListModel::kColumns; ++nColumn) {
        // As wide as the caption or the widest value the column shows.
        const QString strWidest = nColumn == CRequestListModel::kOutcome ? QStringLiteral("slow, failed")
                                  : nColumn == CRequestListModel::kStatus ? QStringLiteral("000")
                                                                          : QStringLiteral("0000000");
        if (nColumn != CRequestListModel::kUrl)
            pColumns->resizeSection(nColumn, std::max(pColumns->fontMetrics().horizontalAdvance(
                                                          CRequestListModel::Columns()[nColumn]),
                                                      m_pRequestList->fontMetrics().horizontalAdvance(strWidest)) +
                                                 24);
    }
    pColumns->setSectionResizeMode(CRequestListModel::kUrl, QHeaderView::Stretch);
    connect(m_pRequestList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CResultsWindow::OnRequestPicked);
    m_pFilter = new QComboBox;
    m_pFilter->setObjectName(QStringLiteral("requestFilter"));
    m_pFilter->addItems({QStringLiteral("All requests"), QStringLiteral("Failed only"), QStringLiteral("Slow only"),
                         QStringLiteral("Failed checks")});
    // Measuring every entry would cost a run of many URLs a pause per URL.
    m_pFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pFilter->setMinimumContentsLength(28);
    m_pFilter->setMaximumWidth(480);
    connect(m_pFilter, &QComboBox::activated, this, &CResultsWindow::OnFilterChosen);
    m_pRequestCount = new QLabel;
    m_pRequestCount->setObjectName(QStringLiteral("requestCount"));
    auto* pShowLabel = new QLabel(QStringLiteral("&Show:"));
    pShowLabel->setBuddy(m_pFilter);
    auto* pListTop = new QHBoxLayout;
    pListTop->addWidget(pShowLabel);
    pListTop->addWidget(m_pFilter);
    pListTop->addWidget(m_pRequestCount, 1);
    auto* pListPage = new QWidget;
    auto* pListLayout = new QVBoxLayout(pListPage);
    pListLayout->addLayout(pListTop);
    pListLayout->addWidget(m_pRequestList, 1);
    return pListPage;
}

void CResultsWindow::ShowRequestCount()
{
    const auto nAll = qsizetype(m_pRequests->Requests().size());
    const int nShown = m_pRequests->rowCount();
    m_pRequestCount->setText(nShown == nAll ? QStringLiteral("%1 requests").arg(nAll)
                                            : QStringLiteral("%1 of %2 requests").arg(nShown).arg(nAll));
}

void CResultsWindow::OnFilterChosen(int nChoice)
{
    // The picked request stays picked when the filter keeps it.
    const CResultsListener::SPoint* pPicked = m_pRequests->RequestAt(m_pRequestList->currentIndex().row());
    const int nPicked = pPicked ? pPicked->nIndex : -1;
    Flush();
    using EFilter = CRequestListModel::EFilter;
    if (nChoice >= kFirstUrlFilter)
        m_pRequests->SetFilter(EFilter::Url, nChoice - kFirstUrlFilter);
    else
        m_pRequests->SetFilter(nChoice == 1   ? EFilter::Failed
                               : nChoice == 2 ? EFilter::Slow
                               : nChoice == 3 ? EFilter::Checks
                                              : EFilter::All);
    if (m_pFilter->currentIndex() != nChoice)
        m_pFilter->setCurrentIndex(nChoice);
    ShowRequestCount();
    const int nRow = nPicked < 0 ? -1 : m_pRequests->RowOf(nPicked);
    if (nRow >= 0) {
        m_pRequestList->selectRow(nRow);
        m_pRequestList->scrollTo(m_pRequests->index(nRow, 0), QAbstractItemView::PositionAtCenter);
    }
}

void CResultsWindow::OnRequestPicked()
{
    const CResultsListener::SPoint* pPoint = m_pRequests->RequestAt(m_pRequestList->currentIndex().row());
    m_pTimeChart->Highlight(pPoint ? std::optional(*pPoint) : std::nullopt);
}

void CResultsWindow::OnPointClicked(const CResultsListener::SPoint& point)
{
    Flush();
    int nRow = m_pRequests->RowOf(point.nIndex);
    if (nRow < 0) {
        // Hidden by the filter: the list shows all requests again.
        OnFilterChosen(0);
        nRow = m_pRequests->RowOf(point.nIndex);
    }
    if (nRow < 0)
        return;
    if (auto* pTabs = qobject_cast<QTabWidget*>(m_pSplitter->widget(2)))
        pTabs->setCurrentIndex(1);
    m_pRequestList->selectRow(nRow);
    m_pRequestList->scrollTo(m_pRequests->index(nRow, 0), QAbstractItemView::PositionAtCenter);
}

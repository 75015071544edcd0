// A saved run compared with the one the results window shows: the outline
// on the histogram, the line on the chart, the table under the statistics
// and the buttons that make and clear it.
#include "CResultsWindow.h"

#include "CResponseTimeHistogram.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

QWidget* CResultsWindow::NewComparisonPart()
{
    m_pCompare = new QPushButton(QStringLiteral("Compare with..."));
    m_pCompare->setObjectName(QStringLiteral("compareWith"));
    m_pCompare->setToolTip(QStringLiteral("Compare the run shown with a saved JSON report, as velkor-cli compare does"));
    m_pCompare->hide();
    m_pClearComparison = new QPushButton(QStringLiteral("Clear comparison"));
    m_pClearComparison->setObjectName(QStringLiteral("clearComparison"));
    m_pClearComparison->hide();
    auto* pPart = new QWidget;
    auto* pLayout = new QVBoxLayout(pPart);
    pLayout->setContentsMargins(0, 0, 0, 0);
    m_pComparisonCaption = new QLabel;
    m_pComparisonCaption->setObjectName(QStringLiteral("comparisonCaption"));
    m_pComparison = new QTableWidget(0, 0);
    m_pComparison->setObjectName(QStringLiteral("comparison"));
    m_pComparison->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pComparison->verticalHeader()->hide();
    m_pComparison->verticalHeader()->setDefaultSectionSize(m_pComparison->fontMetrics().height() + 6);
    m_pComparison->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pLayout->addWidget(m_pComparisonCaption);
    pLayout->addWidget(m_pComparison);
    pPart->hide();
    return pPart;
}

void CResultsWindow::SetOnCompare(std::function<void()> onCompare, std::function<void()> onClear)
{
    disconnect(m_pCompare, &QPushButton::clicked, nullptr, nullptr);
    disconnect(m_pClearComparison, &QPushButton::clicked, nullptr, nullptr);
    connect(m_pCompare, &QPushButton::clicked, this, std::move(onCompare));
    connect(m_pClearComparison, &QPushButton::clicked, this, std::move(onClear));
    m_pCompare->show();
}

void CResultsWindow::ShowComparison(const QString& strBaseName, std::vector<std::uint32_t> baseTimesUs,
                                    double dBaseP95Ms)
{
    m_strComparedWith = strBaseName;
    m_pTimeChart->SetBaseLine(dBaseP95Ms, QStringLiteral("Base p95 (%1 ms)").arg(dBaseP95Ms, 0, 'f', 1));
    m_pHistogram->SetBase(strBaseName, std::move(baseTimesUs));
    m_pComparisonCaption->setText(QStringLiteral("Compared with %1 (base):").arg(strBaseName));
    // As high as a few rows: the statistics above keep their room.
    const int nShown = std::clamp(m_pComparison->rowCount(), 1, 4);
    m_pComparison->setFixedHeight(m_pComparison->horizontalHeader()->sizeHint().height() +
                                  nShown * m_pComparison->verticalHeader()->defaultSectionSize() +
                                  m_pComparison->horizontalScrollBar()->sizeHint().height() +
                                  2 * m_pComparison->frameWidth() + 2);
    m_pComparison->parentWidget()->show();
    m_pClearComparison->setVisible(!m_pCompare->isHidden());
    MakeRoomForTheComparison();
    ScheduleRefresh();
}

void CResultsWindow::MakeRoomForTheComparison()
{
    // The tabs grow to show the statistics and the comparison whole, as far
    // as the time chart can give up height and keep its least readable one;
    // what is still missing the Statistics tab scrolls to.
    auto* pArea = findChild<QScrollArea*>(QStringLiteral("statisticsArea"));
    if (pArea == nullptr || pArea->widget() == nullptr)
        return;
    QList<int> sizes = m_pSplitter->sizes();
    const int nMissing = pArea->widget()->minimumSizeHint().height() - pArea->viewport()->height();
    const int nSpare = sizes.value(0) - m_pTimeChart->minimumHeight();
    const int nMove = std::min(nMissing, nSpare);
    if (sizes.size() != 3 || nMove <= 0)
        return;
    sizes[0] -= nMove;
    sizes[2] += nMove;
    m_pSplitter->setSizes(sizes);
}

void CResultsWindow::ClearComparison()
{
    m_strComparedWith.clear();
    m_pTimeChart->SetBaseLine(-1, QString());
    m_pHistogram->SetBase(QString(), {});
    m_pComparison->setRowCount(0);
    m_pComparison->parentWidget()->hide();
    m_pClearComparison->hide();
    ScheduleRefresh();
}

#include "CResponseTimeChartSideLegend.h"

#include <QListWidget>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QListWidget* NewList(const QString& strName)
{
    auto* pList = new QListWidget;
    pList->setObjectName(strName);
    pList->setFrameShape(QFrame::NoFrame);
    pList->setTextElideMode(Qt::ElideMiddle);
    pList->setSelectionMode(QAbstractItemView::NoSelection);
    pList->setFocusPolicy(Qt::NoFocus);
    pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pList->setUniformItemSizes(true);
    pList->setIconSize(QSize(16, 12));
    // Drawn over the chart's background.
    pList->setAutoFillBackground(false);
    pList->viewport()->setAutoFillBackground(false);
    return pList;
}

}  // namespace

CResponseTimeChartSideLegend::CResponseTimeChartSideLegend(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("chartLegend"));
    m_pPinned = NewList(QStringLiteral("chartLegendMarks"));
    m_pPinned->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pLines = NewList(QStringLiteral("chartLegendLines"));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(4);
    pLayout->addWidget(m_pPinned);
    pLayout->addWidget(m_pLines, 1);
    connect(m_pPinned, &QListWidget::itemClicked, this, [this](QListWidgetItem* pItem) {
        if (m_onClicked)
            m_onClicked(true, m_pPinned->row(pItem));
    });
    connect(m_pLines, &QListWidget::itemClicked, this, [this](QListWidgetItem* pItem) {
        if (m_onClicked)
            m_onClicked(false, m_pLines->row(pItem));
    });
}

void CResponseTimeChartSideLegend::Fill(QListWidget* pList, const std::vector<SEntry>& entries)
{
    while (pList->count() > int(entries.size()))
        delete pList->takeItem(pList->count() - 1);
    QColor faded = palette().color(QPalette::Text);
    faded.setAlphaF(0.4);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SEntry& entry = entries[i];
        QListWidgetItem* pItem = pList->item(int(i));
        if (pItem == nullptr) {
            pItem = new QListWidgetItem(pList);
            pItem->setFlags(Qt::ItemIsEnabled);
        }
        if (pItem->text() != entry.strName) {
            pItem->setText(entry.strName);
            pItem->setToolTip(entry.strName);
        }
        if (pItem->data(Qt::UserRole).toLongLong() != entry.icon.cacheKey()) {
            pItem->setIcon(entry.icon);
            pItem->setData(Qt::UserRole, entry.icon.cacheKey());
        }
        const QBrush brush = entry.bHidden ? QBrush(faded) : QBrush();
        if (pItem->foreground() != brush)
            pItem->setForeground(brush);
    }
}

void CResponseTimeChartSideLegend::SetPinned(const std::vector<SEntry>& entries)
{
    Fill(m_pPinned, entries);
    // Every pinned entry in view, never scrolled.
    const int nRow = std::max(m_pPinned->sizeHintForRow(0), fontMetrics().height() + 2);
    const int nHeight = nRow * int(entries.size()) + 2 * m_pPinned->frameWidth() + 2;
    if (m_pPinned->minimumHeight() != nHeight || m_pPinned->maximumHeight() != nHeight)
        m_pPinned->setFixedHeight(nHeight);
}

void CResponseTimeChartSideLegend::SetLines(const std::vector<SEntry>& entries) { Fill(m_pLines, entries); }

int CResponseTimeChartSideLegend::WantedWidth() const
{
    int nText = 0;
    for (const QListWidget* pList : {m_pPinned, m_pLines})
        for (int i = 0; i < pList->count(); ++i)
            nText = std::max(nText, pList->fontMetrics().horizontalAdvance(pList->item(i)->text()));
    return nText + m_pLines->iconSize().width() + m_pLines->verticalScrollBar()->sizeHint().width() + 24;
}

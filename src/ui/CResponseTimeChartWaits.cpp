// The run's CheckAlive waits on the chart: a shaded band each over the
// time axis, and their tooltips; and the line of a run compared with.
#include "CResponseTimeChart.h"

#include <QChart>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>

void CResponseTimeChart::SetWaits(std::vector<CCheckAliveResult> waits)
{
    m_vecWaits = std::move(waits);
    viewport()->update();
}

QRect CResponseTimeChart::WaitBand(const CCheckAliveResult& wait) const
{
    const QRectF plot = chart()->plotArea();
    const double dFrom = m_pTimeAxis->min();
    const double dTo = m_pTimeAxis->max();
    if (dTo <= dFrom || plot.isEmpty())
        return QRect();
    const double dScale = plot.width() / (dTo - dFrom);
    const double dLeft = plot.left() + (double(wait.nAtMs) / m_dUnitMs - dFrom) * dScale;
    // At least a few pixels wide, so a short wait can be seen and pointed at.
    const double dRight = std::max(dLeft + 3.0, plot.left() + (double(wait.nAtMs + wait.nDownMs) / m_dUnitMs - dFrom) * dScale);
    const QRectF band = QRectF(QPointF(dLeft, plot.top()), QPointF(dRight, plot.bottom())).intersected(plot);
    if (band.isEmpty())
        return QRect();
    return mapFromScene(chart()->mapToScene(band)).boundingRect();
}

void CResponseTimeChart::SetBaseLine(double dMs, const QString& strCaption)
{
    m_dBaseMs = dMs;
    m_strBaseCaption = strCaption;
    viewport()->update();
}

int CResponseTimeChart::BaseLineY() const
{
    const QRectF plot = chart()->plotArea();
    const double dLow = m_pResponseAxis->min();
    const double dHigh = m_pResponseAxis->max();
    if (m_dBaseMs < 0 || dHigh <= dLow || plot.isEmpty() || m_dBaseMs < dLow || m_dBaseMs > dHigh)
        return -1;
    const double dY = plot.bottom() - (m_dBaseMs - dLow) / (dHigh - dLow) * plot.height();
    return mapFromScene(chart()->mapToScene(QPointF(plot.left(), dY))).y();
}

QString CResponseTimeChart::WaitToolTipText(const CCheckAliveResult& wait)
{
    return QStringLiteral("CheckAlive %1:%2\nDown: %3 ms\nAttempts: %4\n%5\nAt %6 s")
        .arg(wait.strHost, wait.strPort)
        .arg(wait.nDownMs)
        .arg(wait.nAttempts)
        .arg(wait.bStopped ? QStringLiteral("Stopped before it came back") : QStringLiteral("Back"))
        .arg(double(wait.nAtMs) / 1000.0, 0, 'f', 3);
}

void CResponseTimeChart::drawForeground(QPainter* pPainter, const QRectF& rect)
{
    QChartView::drawForeground(pPainter, rect);
    const int nBaseY = BaseLineY();
    if (m_vecWaits.empty() && nBaseY < 0)
        return;
    pPainter->save();
    pPainter->resetTransform();
    if (nBaseY >= 0) {
        const QRect plot = mapFromScene(chart()->mapToScene(chart()->plotArea())).boundingRect();
        pPainter->setPen(QPen(QColor(0x40, 0x40, 0x40), 2, Qt::DashLine));
        pPainter->drawLine(plot.left(), nBaseY, plot.right(), nBaseY);
        const QFontMetrics metrics(font());
        pPainter->drawText(plot.right() - metrics.horizontalAdvance(m_strBaseCaption) - 4, nBaseY - 4, m_strBaseCaption);
    }
    for (const CCheckAliveResult& wait : m_vecWaits) {
        const QRect band = WaitBand(wait);
        if (band.isEmpty())
            continue;
        // Amber while the device was down; grey hatching for a wait stopped
        // before it came back.
        pPainter->fillRect(band, wait.bStopped ? QColor(128, 128, 128, 60) : QColor(255, 170, 0, 60));
        if (wait.bStopped)
            pPainter->fillRect(band, QBrush(QColor(96, 96, 96, 90), Qt::BDiagPattern));
        pPainter->setPen(QPen(QColor(200, 120, 0, 160), 1));
        pPainter->drawLine(band.topLeft(), band.bottomLeft());
    }
    pPainter->restore();
}

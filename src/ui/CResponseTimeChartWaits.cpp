// The run's CheckAlive waits on the chart: a shaded band each over the
// time axis, and their tooltips.
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
    if (m_vecWaits.empty())
        return;
    pPainter->save();
    pPainter->resetTransform();
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

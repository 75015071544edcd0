// The chart under the mouse: zoom and pan of the time axis, the tooltips
// of the requests pointed at, and a click picking one.
#include "CResponseTimeChart.h"

#include <QChart>
#include <QHelpEvent>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The narrowest zoom, in ms.
constexpr double kNarrowestMs = 10;
// A press that moves less than this, in pixels, is a click, not a drag.
constexpr int kDragStart = 4;
// How far from a request the pointer may be to show its tooltip, in pixels.
constexpr double kPointerReach = 8;

}  // namespace

void CResponseTimeChart::ZoomTo(double dFromMs, double dToMs)
{
    double dSpan = std::max(kNarrowestMs, dToMs - dFromMs);
    if (dSpan >= m_dFullMs) {
        ResetZoom();
        return;
    }
    dFromMs = std::clamp(dFromMs, 0.0, m_dFullMs - dSpan);
    m_bZoomed = true;
    m_dViewFromMs = dFromMs;
    m_dViewToMs = dFromMs + dSpan;
    ViewChanged();
}

void CResponseTimeChart::ZoomBy(double dFactor, double dAtMs)
{
    const double dFrom = m_bZoomed ? m_dViewFromMs : 0;
    const double dTo = m_bZoomed ? m_dViewToMs : m_dFullMs;
    dAtMs = std::clamp(dAtMs, dFrom, dTo);
    ZoomTo(dAtMs - (dAtMs - dFrom) * dFactor, dAtMs + (dTo - dAtMs) * dFactor);
}

void CResponseTimeChart::ResetZoom()
{
    if (!m_bZoomed)
        return;
    m_bZoomed = false;
    ViewChanged();
}

void CResponseTimeChart::ViewChanged()
{
    ApplyTimeRange();
    if (m_onViewChanged)
        m_onViewChanged();
}

double CResponseTimeChart::TimeAt(const QPoint& viewPosition) const
{
    const QPointF pointer = chart()->mapFromScene(mapToScene(viewPosition));
    const QRectF plot = chart()->plotArea();
    const double dMin = m_pTimeAxis->min();
    const double dMax = m_pTimeAxis->max();
    return (dMin + (pointer.x() - plot.left()) / std::max(1.0, plot.width()) * (dMax - dMin)) * m_dUnitMs;
}

void CResponseTimeChart::wheelEvent(QWheelEvent* pEvent)
{
    const int nDelta = pEvent->angleDelta().y();
    if (nDelta == 0) {
        QChartView::wheelEvent(pEvent);
        return;
    }
    // A notch of the wheel zooms by a fifth.
    ZoomBy(std::pow(0.8, double(nDelta) / 120.0), TimeAt(pEvent->position().toPoint()));
    pEvent->accept();
}

void CResponseTimeChart::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(pEvent);
        return;
    }
    // The legend's entries take their clicks themselves.
    QChartView::mousePressEvent(pEvent);
    if (OnLegend(pEvent->position().toPoint()))
        return;
    m_dragFrom = pEvent->position().toPoint();
    m_dDragFromMs = m_bZoomed ? m_dViewFromMs : 0;
    m_bDragged = false;
    pEvent->accept();
}

void CResponseTimeChart::mouseReleaseEvent(QMouseEvent* pEvent)
{
    // The scene gets every release: an item that took the press lets go.
    QChartView::mouseReleaseEvent(pEvent);
    if (pEvent->button() == Qt::LeftButton && m_dragFrom) {
        const bool bClick = !m_bDragged;
        m_dragFrom.reset();
        m_bDragged = false;
        if (bClick) {
            if (const SPoint* pNearest = NearestShown(pEvent->position().toPoint())) {
                const SPoint picked = *pNearest;
                Highlight(picked);
                if (m_onPointClicked)
                    m_onPointClicked(picked);
            }
        }
        pEvent->accept();
    }
}

bool CResponseTimeChart::OnLegend(const QPoint& viewPosition) const
{
    return chart()->legend()->geometry().contains(chart()->mapFromScene(mapToScene(viewPosition)));
}

void CResponseTimeChart::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    // On the legend, a quick second click toggles its entry again.
    if (pEvent->button() == Qt::LeftButton && !OnLegend(pEvent->position().toPoint())) {
        ResetZoom();
        pEvent->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(pEvent);
}

QString CResponseTimeChart::ToolTipText(const SPoint& point) const
{
    const QString strStatus = point.nStatus < 0 ? QStringLiteral("no response") : QString::number(point.nStatus);
    QString strTime = point.outcome == ERequestOutcome::NotSent ? QStringLiteral("not sent")
                                                                : QStringLiteral("%1 ms").arg(point.nTimeMs);
    if (point.outcome != ERequestOutcome::Ok && point.outcome != ERequestOutcome::NotSent)
        strTime += QStringLiteral(" (%1)").arg(QLatin1String(OutcomeName(point.outcome)));
    QString strWhere = QStringLiteral("request %1").arg(point.nIndex);
    if (point.nPass > 0)
        strWhere += QStringLiteral(", pass %1").arg(point.nPass);
    strWhere += QStringLiteral(", at %1 s").arg(double(point.nAtMs) / 1000.0, 0, 'f', 3);
    QString strText =
        QStringLiteral("%1\nStatus: %2\nTime: %3\n%4").arg(m_lines.urls.value(point.nUrl), strStatus, strTime, strWhere);
    if (point.bCheckFailed)
        strText += QStringLiteral("\nCheck failed");
    return strText;
}

const CResponseTimeChart::SPoint* CResponseTimeChart::NearestShown(const QPoint& viewPosition) const
{
    const QPointF pointer = chart()->mapFromScene(mapToScene(viewPosition));
    const QRectF plot = chart()->plotArea();
    const double dScaleX = plot.width() / std::max(1e-9, m_pTimeAxis->max() - m_pTimeAxis->min());
    const double dScaleY = plot.height() / std::max(1e-9, m_pResponseAxis->max() - m_pResponseAxis->min());
    const SPoint* pNearest = nullptr;
    double dNearest = kPointerReach * kPointerReach;
    auto Search = [&](const std::vector<SPoint>& points) {
        for (const SPoint& candidate : points) {
            const QPointF value = Position(candidate);
            const double dX = plot.left() + (value.x() - m_pTimeAxis->min()) * dScaleX - pointer.x();
            const double dY = plot.bottom() - (value.y() - m_pResponseAxis->min()) * dScaleY - pointer.y();
            if (dX * dX + dY * dY <= dNearest) {
                dNearest = dX * dX + dY * dY;
                pNearest = &candidate;
            }
        }
    };
    for (std::size_t nUrl = 0; nUrl < m_vecShownLines.size() && nUrl < m_vecLines.size(); ++nUrl)
        if (m_vecLines[nUrl]->isVisible())
            Search(m_vecShownLines[nUrl]);
    if (m_pSlowMarks->isVisible())
        Search(m_vecShownSlow);
    if (m_pFailedMarks->isVisible())
        Search(m_vecShownFailed);
    if (m_pCheckMarks->isVisible())
        Search(m_vecShownChecks);
    return pNearest;
}

QString CResponseTimeChart::ToolTipAt(const QPoint& viewPosition) const
{
    if (const SPoint* pNearest = NearestShown(viewPosition))
        return ToolTipText(*pNearest);
    // Within a wait's band: the wait (the latest one there).
    for (auto it = m_vecWaits.rbegin(); it != m_vecWaits.rend(); ++it)
        if (WaitBand(*it).contains(viewPosition))
            return WaitToolTipText(*it);
    return QString();
}

bool CResponseTimeChart::viewportEvent(QEvent* pEvent)
{
    // The view's own tooltip handling asks the scene, whose items have no
    // tooltips, and would hide the request's tooltip the mouse rests on.
    if (pEvent->type() == QEvent::ToolTip) {
        const auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        const QString strText = ToolTipAt(pHelp->pos());
        if (strText.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(pHelp->globalPos(), strText, this);
        return true;
    }
    return QChartView::viewportEvent(pEvent);
}

void CResponseTimeChart::mouseMoveEvent(QMouseEvent* pEvent)
{
    QChartView::mouseMoveEvent(pEvent);
    if (m_dragFrom && (pEvent->buttons() & Qt::LeftButton)) {
        const int nDx = pEvent->position().toPoint().x() - m_dragFrom->x();
        if (!m_bDragged && std::abs(nDx) < kDragStart)
            return;
        m_bDragged = true;
        // Only a zoomed axis has somewhere to go.
        if (m_bZoomed) {
            const double dSpan = m_dViewToMs - m_dViewFromMs;
            const double dMsPerPixel = dSpan / std::max(1.0, chart()->plotArea().width());
            ZoomTo(m_dDragFromMs - double(nDx) * dMsPerPixel, m_dDragFromMs - double(nDx) * dMsPerPixel + dSpan);
        }
        return;
    }
    const QString strText = ToolTipAt(pEvent->position().toPoint());
    if (strText.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(pEvent->globalPosition().toPoint(), strText, this);
}

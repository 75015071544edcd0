#include "CResponseTimeChart.h"

#include <QChart>
#include <QHelpEvent>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// Orange and red are the marks' and the threshold's.
const QColor kUrlColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                              QColor(0x8c, 0x56, 0x4b), QColor(0x17, 0xbe, 0xcf), QColor(0xe3, 0x77, 0xc2),
                              QColor(0xbc, 0xbd, 0x22), QColor(0x7f, 0x7f, 0x7f)};
const QColor kSlowColour(0xf0, 0x8c, 0x00);
const QColor kFailedColour(0xd3, 0x2f, 0x2f);
// Room in the legend around its entries: the chart's margins.
constexpr int kLegendMargins = 60;

constexpr int kMarkSize = 11;
constexpr int kSelectedSize = 17;
// Most steps of the time axis.
constexpr int kTimeSteps = 8;
// Zoomed in on no more requests than these, every one is drawn.
constexpr std::size_t kMostDetailRequests = 20000;
// The narrowest zoom, in ms.
constexpr double kNarrowestMs = 10;
// A press that moves less than this, in pixels, is a click, not a drag.
constexpr int kDragStart = 4;
// How far from a request the pointer may be to show its tooltip, in pixels.
constexpr double kPointerReach = 8;

// A series of marks, each drawn as one picture (a graphics item per mark
// would make a long run's redraw slow): a triangle or a diamond.
QScatterSeries* NewMarks(const QString& strName, QScatterSeries::MarkerShape eShape, const QColor& colour)
{
    auto* pMarks = new QScatterSeries;
    pMarks->setName(strName);
    pMarks->setMarkerShape(eShape);
    pMarks->setMarkerSize(kMarkSize);
    pMarks->setColor(colour);
    pMarks->setBorderColor(colour.darker(150));
    QImage image(kMarkSize, kMarkSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(150), 1));
    painter.setBrush(colour);
    const double s = kMarkSize - 1;
    const QPolygonF shape = eShape == QScatterSeries::MarkerShapeTriangle
                                ? QPolygonF({QPointF(0.5, s), QPointF(s / 2 + 0.5, 0.5), QPointF(s, s)})
                                : QPolygonF({QPointF(s / 2 + 0.5, 0.5), QPointF(s, s / 2 + 0.5),
                                             QPointF(s / 2 + 0.5, s), QPointF(0.5, s / 2 + 0.5)});
    painter.drawPolygon(shape);
    painter.end();
    pMarks->setLightMarker(image);
    return pMarks;
}

// "scheme://host:port" of a URL; empty without "://".
QString Origin(const QString& strUrl)
{
    const qsizetype nHost = strUrl.indexOf(QLatin1String("://"));
    return nHost < 0 ? QString() : strUrl.left(strUrl.indexOf(QLatin1Char('/'), nHost + 3));
}

// The ring around the picked request.
QScatterSeries* NewSelectedMark()
{
    auto* pMark = new QScatterSeries;
    pMark->setName(QStringLiteral("Picked request"));
    pMark->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    pMark->setMarkerSize(kSelectedSize);
    pMark->setColor(Qt::transparent);
    pMark->setBorderColor(Qt::black);
    pMark->setPen(QPen(Qt::black, 2));
    return pMark;
}

}  // namespace

CResponseTimeChart::CResponseTimeChart(QWidget* pParent) : QChartView(new QChart, pParent)
{
    setObjectName(QStringLiteral("timeChart"));
    setRenderHint(QPainter::Antialiasing);
    QChart* pChart = chart();
    pChart->setTitle(QStringLiteral("Response time per request"));
    pChart->legend()->setAlignment(Qt::AlignBottom);
    m_pTimeAxis = new QValueAxis;
    m_pTimeAxis->setLabelFormat(QStringLiteral("%g"));
    m_pTimeAxis->setTickType(QValueAxis::TicksDynamic);
    m_pTimeAxis->setTickAnchor(0);
    m_pResponseAxis = new QValueAxis;
    m_pResponseAxis->setTitleText(QStringLiteral("Response time (ms)"));
    m_pResponseAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_pResponseAxis->setTickType(QValueAxis::TicksDynamic);
    m_pResponseAxis->setTickAnchor(0);
    pChart->addAxis(m_pTimeAxis, Qt::AlignBottom);
    pChart->addAxis(m_pResponseAxis, Qt::AlignLeft);

    m_pThresholdLine = new QLineSeries;
    m_pThresholdLine->setPen(QPen(kFailedColour, 1.5, Qt::DashLine));
    m_pSlowMarks = NewMarks(QStringLiteral("Slow"), QScatterSeries::MarkerShapeTriangle, kSlowColour);
    m_pFailedMarks = NewMarks(QStringLiteral("Failures"), QScatterSeries::MarkerShapeRotatedRectangle, kFailedColour);
    m_pSelected = NewSelectedMark();
    for (QXYSeries* pSeries : OverlaySeries()) {
        pChart->addSeries(pSeries);
        pSeries->attachAxis(m_pTimeAxis);
        pSeries->attachAxis(m_pResponseAxis);
    }
    ShapeLegend();
    viewport()->setMouseTracking(true);
    Show(CResultsChartData(), QStringList(), -1);
}

QColor CResponseTimeChart::UrlColour(int nUrl) { return kUrlColours[std::size_t(nUrl) % std::size(kUrlColours)]; }

QString CResponseTimeChart::ShortUrl(const QString& strUrl, const QStringList& urls)
{
    const QString strOrigin = Origin(strUrl);
    if (strOrigin.isEmpty())
        return strUrl;
    const QString strPath = strUrl.mid(strOrigin.size());
    const bool bTwin = std::any_of(urls.begin(), urls.end(), [&](const QString& strOther) {
        const QString strOtherOrigin = Origin(strOther);
        return strOtherOrigin != strOrigin && !strOtherOrigin.isEmpty() && strOther.mid(strOtherOrigin.size()) == strPath;
    });
    if (!bTwin)
        return strPath.isEmpty() ? QStringLiteral("/") : strPath;
    return strUrl.mid(strUrl.indexOf(QLatin1String("://")) + 3);
}

QString CResponseTimeChart::LegendLabel(const QString& strUrl, const QStringList& urls, const QFontMetrics& metrics,
                                        int nMaxWidth)
{
    return metrics.elidedText(ShortUrl(strUrl, urls), Qt::ElideMiddle, nMaxWidth);
}

int CResponseTimeChart::MinimumReadableHeight() const
{
    // The response axis' title stands beside the plot: the plot is as high
    // as it is long; above and below go the title, the time labels, the
    // time axis' title and the legend, each a line, and the chart's margins.
    const QChart* pChart = chart();
    const QFontMetrics title(pChart->titleFont());
    const QFontMetrics axisTitle(m_pResponseAxis->titleFont());
    const QFontMetrics labels(m_pTimeAxis->labelsFont());
    const QFontMetrics legend(pChart->legend()->font());
    return axisTitle.horizontalAdvance(m_pResponseAxis->titleText()) + 2 * labels.height() + title.height() +
           axisTitle.height() + legend.height() + 110;
}

QList<QXYSeries*> CResponseTimeChart::OverlaySeries() const
{
    return {m_pSlowMarks, m_pFailedMarks, m_pThresholdLine, m_pSelected};
}

void CResponseTimeChart::AddLine(int nUrl, const QString& strUrl)
{
    QChart* pChart = chart();
    auto* pLine = new QLineSeries;
    pLine->setName(strUrl);
    // One pixel wide: the fast way to draw a long line.
    pLine->setPen(QPen(UrlColour(nUrl), 1));
    // Drawn under the marks and the threshold, which are added again after it.
    for (QXYSeries* pSeries : OverlaySeries())
        pChart->removeSeries(pSeries);
    pChart->addSeries(pLine);
    for (QXYSeries* pSeries : OverlaySeries())
        pChart->addSeries(pSeries);
    for (QXYSeries* pSeries : OverlaySeries() + QList<QXYSeries*>{pLine}) {
        pSeries->attachAxis(m_pTimeAxis);
        pSeries->attachAxis(m_pResponseAxis);
    }
    m_vecLines.push_back(pLine);
    ShapeLegend();
}

void CResponseTimeChart::ShapeLegend()
{
    // The legend's markers are made anew whenever a series is added.
    const QLegend* pLegend = chart()->legend();
    for (QLegendMarker* pMarker : pLegend->markers()) {
        if (pMarker->series() == m_pSelected) {
            pMarker->setVisible(false);
            continue;
        }
        QLegend::MarkerShape eShape = QLegend::MarkerShapeFromSeries;
        if (pMarker->series() == m_pSlowMarks)
            eShape = QLegend::MarkerShapeTriangle;
        else if (pMarker->series() == m_pFailedMarks)
            eShape = QLegend::MarkerShapeRotatedRectangle;
        if (pMarker->shape() != eShape)
            pMarker->setShape(eShape);
        if (!pMarker->property("toggles").toBool()) {
            pMarker->setProperty("toggles", true);
            QObject::connect(pMarker, &QLegendMarker::clicked, this,
                             [this, pMarker] { ToggleSeries(pMarker->series()); });
        }
        FadeMarker(pMarker);
    }
}

void CResponseTimeChart::FadeMarker(QLegendMarker* pMarker)
{
    const bool bHidden = m_setHidden.contains(pMarker->series());
    // Hiding a series hides its entry too; the entry stays, faded.
    if (!pMarker->isVisible())
        pMarker->setVisible(true);
    QColor colour = chart()->legend()->labelColor();
    colour.setAlphaF(bHidden ? 0.4 : 1.0);
    if (pMarker->labelBrush().color() != colour)
        pMarker->setLabelBrush(colour);
}

void CResponseTimeChart::ToggleSeries(QAbstractSeries* pSeries)
{
    if (pSeries == nullptr || pSeries == m_pSelected)
        return;
    if (m_setHidden.contains(pSeries))
        m_setHidden.remove(pSeries);
    else
        m_setHidden.insert(pSeries);
    // The threshold shows only with a threshold; Show() keeps to that.
    pSeries->setVisible(!m_setHidden.contains(pSeries) && (pSeries != m_pThresholdLine || m_bThreshold));
    for (QLegendMarker* pMarker : chart()->legend()->markers(pSeries))
        FadeMarker(pMarker);
}

// A round step (1, 2 or 5 times a power of ten) for a span in at most
// nMaxSteps steps.
static double RoundStep(double dSpan, int nMaxSteps)
{
    double dStep = std::pow(10.0, std::floor(std::log10(dSpan / nMaxSteps)));
    for (double dFactor : {1.0, 2.0, 5.0, 10.0}) {
        if (dSpan / (dStep * dFactor) <= nMaxSteps) {
            dStep *= dFactor;
            break;
        }
    }
    return dStep;
}

// The axis from 0 to a round step (1, 2 or 5 times a power of ten) at or
// above dHighest, at most nMaxSteps steps; returns the axis' top.
double CResponseTimeChart::SetRange(QValueAxis* pAxis, double dHighest, int nMaxSteps)
{
    const double dStep = RoundStep(dHighest, nMaxSteps);
    const double dTop = std::ceil(dHighest / dStep) * dStep;
    if (pAxis != nullptr) {
        if (pAxis->tickInterval() != dStep)
            pAxis->setTickInterval(dStep);
        if (pAxis->min() != 0 || pAxis->max() != dTop)
            pAxis->setRange(0, dTop);
    }
    return dTop;
}

void CResponseTimeChart::LabelLines()
{
    if (m_vecLines.empty())
        return;
    // Each entry takes its marker (a line high and wide) and some space
    // beside its label; the URLs' labels share what the other entries leave.
    const QFontMetrics metrics(chart()->legend()->font());
    const int nEntryRest = metrics.height() + 2 * metrics.averageCharWidth() + 8;
    int nRest = kLegendMargins + int(m_vecLines.size()) * nEntryRest;
    for (const QXYSeries* pSeries : std::initializer_list<const QXYSeries*>{m_pSlowMarks, m_pFailedMarks, m_pThresholdLine})
        nRest += nEntryRest + metrics.horizontalAdvance(pSeries->name());
    const int nWidth = std::clamp((width() - nRest) / int(m_vecLines.size()), 60, 320);
    for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl) {
        const QString strLabel = LegendLabel(m_urls[qsizetype(nUrl)], m_urls, metrics, nWidth);
        for (QLegendMarker* pMarker : chart()->legend()->markers(m_vecLines[nUrl]))
            if (pMarker->label() != strLabel)
                pMarker->setLabel(strLabel);
    }
}

void CResponseTimeChart::resizeEvent(QResizeEvent* pEvent)
{
    QChartView::resizeEvent(pEvent);
    LabelLines();
}

// Where a request is drawn; a wait longer than the response axis reaches is
// drawn just below its top, where its mark shows whole.
QPointF CResponseTimeChart::Position(const SPoint& point) const
{
    return QPointF(double(point.nAtMs) / m_dUnitMs, std::min(double(point.nTimeMs), m_dTopMs * 0.98));
}

QList<QPointF> CResponseTimeChart::Positions(const std::vector<SPoint>& points) const
{
    QList<QPointF> positions;
    positions.reserve(qsizetype(points.size()));
    for (const SPoint& point : points)
        positions.append(Position(point));
    return positions;
}

void CResponseTimeChart::Show(const CResultsChartData& chartData, const QStringList& urls, int nThresholdMs,
                              const std::vector<SPoint>* pRequests)
{
    // A new run's URLs: the last run's lines go, and the zoom.
    if (urls.mid(0, m_urls.size()) != m_urls || (urls.isEmpty() && chartData.Count() == 0)) {
        for (QLineSeries* pLine : m_vecLines) {
            m_setHidden.remove(pLine);
            chart()->removeSeries(pLine);
            delete pLine;
        }
        m_vecLines.clear();
        m_vecShownLines.clear();
        m_bZoomed = false;
        m_selected.reset();
    }
    m_urls = urls;
    while (m_vecLines.size() < std::size_t(urls.size()))
        AddLine(int(m_vecLines.size()), urls[qsizetype(m_vecLines.size())]);
    LabelLines();

    // Seconds for a short run, minutes or hours for a long one.
    // The axis reaches the last request and the end of the last wait.
    std::int64_t nLastMs = chartData.LastAtMs();
    for (const CCheckAliveResult& wait : m_vecWaits)
        nLastMs = std::max(nLastMs, wait.nAtMs + wait.nDownMs);
    const char* pUnit = "s";
    m_dUnitMs = 1000.0;
    if (nLastMs >= 10 * 3600 * 1000LL) {
        pUnit = "h";
        m_dUnitMs = 3600 * 1000.0;
    } else if (nLastMs >= 10 * 60 * 1000LL) {
        pUnit = "min";
        m_dUnitMs = 60 * 1000.0;
    }
    // Each change of an axis redraws every series: only real changes go in.
    const QString strTimeTitle = QStringLiteral("Time into the run (%1)").arg(QLatin1String(pUnit));
    if (m_pTimeAxis->titleText() != strTimeTitle)
        m_pTimeAxis->setTitleText(strTimeTitle);
    m_dFullMs = SetRange(nullptr, std::max(1.0, double(nLastMs) / m_dUnitMs), kTimeSteps) * m_dUnitMs;
    ApplyTimeRange();
    const auto nHighestMs = std::max<std::int64_t>({chartData.MaxTimeMs(), nThresholdMs, 10});
    m_dTopMs = SetRange(m_pResponseAxis, double(nHighestMs) * 1.05, 6);

    // Zoomed in on few enough requests: each of them.
    bool bDetail = false;
    if (m_bZoomed && pRequests != nullptr) {
        const auto Before = [](const SPoint& point, double dMs) { return double(point.nAtMs) < dMs; };
        const auto first = std::lower_bound(pRequests->begin(), pRequests->end(), m_dViewFromMs, Before);
        const auto last = std::lower_bound(first, pRequests->end(), m_dViewToMs, Before);
        // One request each side, so that the lines run on to the edges.
        const auto from = first == pRequests->begin() ? first : first - 1;
        const auto to = last == pRequests->end() ? last : last + 1;
        if (std::size_t(to - from) <= kMostDetailRequests) {
            bDetail = true;
            m_vecShownLines.assign(m_vecLines.size(), {});
            m_vecShownSlow.clear();
            m_vecShownFailed.clear();
            for (auto it = from; it != to; ++it) {
                const bool bInside = it >= first && it < last;
                if (it->outcome == ERequestOutcome::Ok || it->outcome == ERequestOutcome::Slow) {
                    if (it->nUrl >= 0 && std::size_t(it->nUrl) < m_vecShownLines.size())
                        m_vecShownLines[std::size_t(it->nUrl)].push_back(*it);
                    if (it->outcome == ERequestOutcome::Slow && bInside)
                        m_vecShownSlow.push_back(*it);
                } else if (bInside) {
                    m_vecShownFailed.push_back(*it);
                }
            }
        }
    }
    if (!bDetail) {
        m_vecShownLines.resize(m_vecLines.size());
        for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl)
            m_vecShownLines[nUrl] = chartData.Line(int(nUrl));
        chartData.Marks(m_vecShownSlow, m_vecShownFailed);
    }
    for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl)
        m_vecLines[nUrl]->replace(Positions(m_vecShownLines[nUrl]));
    m_pSlowMarks->replace(Positions(m_vecShownSlow));
    m_pFailedMarks->replace(Positions(m_vecShownFailed));
    Highlight(m_selected);

    // Across the whole run, whatever the zoom.
    const QList<QPointF> threshold = {QPointF(0, nThresholdMs), QPointF(m_dFullMs / m_dUnitMs, nThresholdMs)};
    if (nThresholdMs >= 0 && m_pThresholdLine->points() != threshold) {
        m_pThresholdLine->setName(QStringLiteral("Threshold (%1 ms)").arg(nThresholdMs));
        m_pThresholdLine->replace(threshold);
        ShapeLegend();
        LabelLines();
    }
    m_bThreshold = nThresholdMs >= 0;
    const bool bThresholdShown = m_bThreshold && !m_setHidden.contains(m_pThresholdLine);
    if (m_pThresholdLine->isVisible() != bThresholdShown) {
        m_pThresholdLine->setVisible(bThresholdShown);
        for (QLegendMarker* pMarker : chart()->legend()->markers(m_pThresholdLine))
            FadeMarker(pMarker);
    }
}

void CResponseTimeChart::ApplyTimeRange()
{
    if (!m_bZoomed) {
        SetRange(m_pTimeAxis, m_dFullMs / m_dUnitMs, kTimeSteps);
        return;
    }
    // Ticks of a round step over the zoomed span, the range as zoomed.
    const double dFrom = m_dViewFromMs / m_dUnitMs;
    const double dTo = m_dViewToMs / m_dUnitMs;
    const double dStep = RoundStep(dTo - dFrom, kTimeSteps);
    if (m_pTimeAxis->tickInterval() != dStep)
        m_pTimeAxis->setTickInterval(dStep);
    if (m_pTimeAxis->min() != dFrom || m_pTimeAxis->max() != dTo)
        m_pTimeAxis->setRange(dFrom, dTo);
}

void CResponseTimeChart::Highlight(const std::optional<SPoint>& point)
{
    m_selected = point;
    const QList<QPointF> positions = point ? QList<QPointF>{Position(*point)} : QList<QPointF>();
    if (m_pSelected->points() != positions)
        m_pSelected->replace(positions);
}

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
    return QStringLiteral("%1\nStatus: %2\nTime: %3\n%4").arg(m_urls.value(point.nUrl), strStatus, strTime, strWhere);
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

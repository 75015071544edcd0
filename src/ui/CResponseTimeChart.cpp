#include "CResponseTimeChart.h"

#include <QChart>
#include <QHelpEvent>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
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
// Room in the legend for what is not a URL's label.
constexpr int kLegendRestWidth = 420;

constexpr int kMarkSize = 11;
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

// "scheme://host:port" of a URL.
QString Origin(const QString& strUrl)
{
    const qsizetype nHost = strUrl.indexOf(QLatin1String("://"));
    return nHost < 0 ? QString() : strUrl.left(strUrl.indexOf(QLatin1Char('/'), nHost + 3));
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

QString CResponseTimeChart::LegendLabel(const QString& strUrl, const QStringList& urls, const QFontMetrics& metrics,
                                        int nMaxWidth)
{
    const QString strOrigin = Origin(strUrl);
    const bool bShared = !strOrigin.isEmpty() && std::all_of(urls.begin(), urls.end(), [&](const QString& strOther) {
        return Origin(strOther) == strOrigin;
    });
    const QString strLabel = bShared && strUrl.size() > strOrigin.size() ? strUrl.mid(strOrigin.size()) : strUrl;
    return metrics.elidedText(strLabel, Qt::ElideMiddle, nMaxWidth);
}

QList<QXYSeries*> CResponseTimeChart::OverlaySeries() const
{
    return {m_pSlowMarks, m_pFailedMarks, m_pThresholdLine};
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
        QLegend::MarkerShape eShape = QLegend::MarkerShapeFromSeries;
        if (pMarker->series() == m_pSlowMarks)
            eShape = QLegend::MarkerShapeTriangle;
        else if (pMarker->series() == m_pFailedMarks)
            eShape = QLegend::MarkerShapeRotatedRectangle;
        if (pMarker->shape() != eShape)
            pMarker->setShape(eShape);
    }
}

// The axis from 0 to a round step (1, 2 or 5 times a power of ten) at or
// above dHighest, at most nMaxSteps steps; returns the axis' top.
double CResponseTimeChart::SetRange(QValueAxis* pAxis, double dHighest, int nMaxSteps)
{
    double dStep = std::pow(10.0, std::floor(std::log10(dHighest / nMaxSteps)));
    for (double dFactor : {1.0, 2.0, 5.0, 10.0}) {
        if (dHighest / (dStep * dFactor) <= nMaxSteps) {
            dStep *= dFactor;
            break;
        }
    }
    const double dTop = std::ceil(dHighest / dStep) * dStep;
    if (pAxis->tickInterval() != dStep)
        pAxis->setTickInterval(dStep);
    if (pAxis->min() != 0 || pAxis->max() != dTop)
        pAxis->setRange(0, dTop);
    return dTop;
}

void CResponseTimeChart::LabelLines()
{
    if (m_vecLines.empty())
        return;
    const int nWidth = std::clamp((width() - kLegendRestWidth) / int(m_vecLines.size()), 100, 320);
    const QFontMetrics metrics(chart()->legend()->font());
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

void CResponseTimeChart::Show(const CResultsChartData& chartData, const QStringList& urls, int nThresholdMs)
{
    // A new run's URLs: the last run's lines go.
    if (urls.mid(0, m_urls.size()) != m_urls) {
        for (QLineSeries* pLine : m_vecLines) {
            chart()->removeSeries(pLine);
            delete pLine;
        }
        m_vecLines.clear();
        m_vecShownLines.clear();
    }
    m_urls = urls;
    while (m_vecLines.size() < std::size_t(urls.size()))
        AddLine(int(m_vecLines.size()), urls[qsizetype(m_vecLines.size())]);
    LabelLines();

    // Seconds for a short run, minutes or hours for a long one.
    const std::int64_t nLastMs = chartData.LastAtMs();
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
    SetRange(m_pTimeAxis, std::max(1.0, double(nLastMs) / m_dUnitMs), 8);
    const auto nHighestMs = std::max<std::int64_t>({chartData.MaxTimeMs(), nThresholdMs, 10});
    m_dTopMs = SetRange(m_pResponseAxis, double(nHighestMs) * 1.05, 6);

    m_vecShownLines.resize(m_vecLines.size());
    for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl) {
        m_vecShownLines[nUrl] = chartData.Line(int(nUrl));
        m_vecLines[nUrl]->replace(Positions(m_vecShownLines[nUrl]));
    }
    chartData.Marks(m_vecShownSlow, m_vecShownFailed);
    m_pSlowMarks->replace(Positions(m_vecShownSlow));
    m_pFailedMarks->replace(Positions(m_vecShownFailed));

    const QList<QPointF> threshold = {QPointF(m_pTimeAxis->min(), nThresholdMs),
                                      QPointF(m_pTimeAxis->max(), nThresholdMs)};
    if (nThresholdMs >= 0 && m_pThresholdLine->points() != threshold) {
        m_pThresholdLine->setName(QStringLiteral("Threshold (%1 ms)").arg(nThresholdMs));
        m_pThresholdLine->replace(threshold);
    }
    if (m_pThresholdLine->isVisible() != (nThresholdMs >= 0))
        m_pThresholdLine->setVisible(nThresholdMs >= 0);
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
    for (const std::vector<SPoint>& line : m_vecShownLines)
        Search(line);
    Search(m_vecShownSlow);
    Search(m_vecShownFailed);
    return pNearest;
}

QString CResponseTimeChart::ToolTipAt(const QPoint& viewPosition) const
{
    const SPoint* pNearest = NearestShown(viewPosition);
    return pNearest ? ToolTipText(*pNearest) : QString();
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
    const QString strText = ToolTipAt(pEvent->position().toPoint());
    if (strText.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(pEvent->globalPosition().toPoint(), strText, this);
}

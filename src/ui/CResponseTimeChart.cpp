#include "CResponseTimeChart.h"

#include "CResponseTimeChartSideLegend.h"

#include <QChart>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
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
const QColor kCheckColour(0x6a, 0x1b, 0x9a);

constexpr int kMarkSize = 11;
constexpr int kSelectedSize = 17;
// Most steps of the time axis.
constexpr int kTimeSteps = 8;
// Zoomed in on no more requests than these, every one is drawn.
constexpr std::size_t kMostDetailRequests = 20000;

// A series of marks, each drawn as one picture (a graphics item per mark
// would make a long run's redraw slow): a triangle, a diamond or a square.
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
    const QPolygonF shape =
        eShape == QScatterSeries::MarkerShapeTriangle
            ? QPolygonF({QPointF(0.5, s), QPointF(s / 2 + 0.5, 0.5), QPointF(s, s)})
        : eShape == QScatterSeries::MarkerShapeRectangle
            ? QPolygonF({QPointF(1.5, 1.5), QPointF(s - 1, 1.5), QPointF(s - 1, s - 1), QPointF(1.5, s - 1)})
            : QPolygonF({QPointF(s / 2 + 0.5, 0.5), QPointF(s, s / 2 + 0.5), QPointF(s / 2 + 0.5, s),
                         QPointF(0.5, s / 2 + 0.5)});
    painter.drawPolygon(shape);
    painter.end();
    pMarks->setLightMarker(image);
    return pMarks;
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
    // A change of the view's height (a row above it shown or hidden) would
    // scroll what it drew by that much and leave it there, a second, stale
    // chart under the new one: the whole view is drawn again instead.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
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
    m_pCheckMarks = NewMarks(QStringLiteral("Check failed"), QScatterSeries::MarkerShapeRectangle, kCheckColour);
    m_pSelected = NewSelectedMark();
    for (QXYSeries* pSeries : OverlaySeries()) {
        pChart->addSeries(pSeries);
        pSeries->attachAxis(m_pTimeAxis);
        pSeries->attachAxis(m_pResponseAxis);
    }
    ShapeLegend();
    m_defaultMargins = pChart->margins();
    m_pSideLegend = new CResponseTimeChartSideLegend(this);
    m_pSideLegend->hide();
    m_pSideLegend->SetOnClicked([this](bool bPinned, int nEntry) {
        if (!bPinned)
            ToggleSeries(std::size_t(nEntry) < m_vecLines.size() ? m_vecLines[std::size_t(nEntry)] : nullptr);
        else if (nEntry >= 0 && std::size_t(nEntry) < m_vecPinned.size())
            ToggleSeries(m_vecPinned[std::size_t(nEntry)]);
    });
    viewport()->setMouseTracking(true);
    Show(CResultsChartData(), SLines(), -1);
}

QColor CResponseTimeChart::UrlColour(int nUrl)
{
    // The first lines in the colours of the table's marks; more lines (a
    // fleet by device) in hues spread round the circle, away from the
    // marks' orange and red.
    const std::size_t nColour = std::size_t(nUrl) % kLineColours;
    if (nColour < std::size(kUrlColours))
        return kUrlColours[nColour];
    // The golden angle apart, squeezed into the hues from yellow to purple.
    const double dTurn = std::fmod(double(nColour) * 137.508, 360.0);
    const int nHue = 60 + int(dTurn * 280.0 / 360.0);
    return QColor::fromHsv(nHue, nColour % 2 ? 170 : 230, nColour % 3 ? 175 : 130);
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
    return {m_pSlowMarks, m_pFailedMarks, m_pCheckMarks, m_pThresholdLine, m_pSelected};
}

void CResponseTimeChart::AddLine(int nLine, const QString& strName)
{
    QChart* pChart = chart();
    auto* pLine = new QLineSeries;
    pLine->setName(strName);
    // One pixel wide: the fast way to draw a long line.
    pLine->setPen(QPen(UrlColour(nLine), 1));
    pLine->setColor(UrlColour(nLine));
    pLine->setMarkerSize(7);
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

void CResponseTimeChart::Show(const CResultsChartData& chartData, const SLines& lines, int nThresholdMs,
                              const std::vector<SPoint>* pRequests)
{
    // A new run's lines, or its URLs grouped otherwise: the last lines go;
    // a new run's zoom too.
    const bool bNewRun = lines.names.isEmpty() && chartData.Count() == 0;
    if (lines.nGeneration != m_lines.nGeneration || bNewRun || !m_bShownOnce) {
        for (QLineSeries* pLine : m_vecLines) {
            m_setHidden.remove(pLine);
            chart()->removeSeries(pLine);
            delete pLine;
        }
        m_vecLines.clear();
        m_vecShownLines.clear();
        // Lines gone and made anew: the whole view drawn again.
        viewport()->update();
        if (bNewRun) {
            m_bZoomed = false;
            m_selected.reset();
        }
    }
    m_bShownOnce = true;
    m_lines = lines;
    // A group's name follows the script lines seen in it.
    if (lines.lineOf)
        for (std::size_t nLine = 0; nLine < m_vecLines.size() && nLine < std::size_t(lines.names.size()); ++nLine)
            if (m_vecLines[nLine]->name() != lines.names[qsizetype(nLine)])
                m_vecLines[nLine]->setName(lines.names[qsizetype(nLine)]);
    // A URL's line is named by the URL whole; the legend shows it short.
    while (m_vecLines.size() < std::size_t(lines.names.size())) {
        const auto nLine = qsizetype(m_vecLines.size());
        AddLine(int(nLine), lines.lineOf ? lines.names[nLine] : lines.urls.value(nLine, lines.names[nLine]));
    }
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
    // A hidden threshold does not stretch the axis: quick answers stay in view.
    const bool bThresholdCounts = nThresholdMs >= 0 && !m_setHidden.contains(m_pThresholdLine);
    const auto nHighestMs = std::max<std::int64_t>(
        {chartData.MaxTimeMs(), bThresholdCounts ? nThresholdMs : 0, std::int64_t(std::ceil(m_dBaseMs)), 10});
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
            m_vecShownChecks.clear();
            for (auto it = from; it != to; ++it) {
                const bool bInside = it >= first && it < last;
                if (it->outcome == ERequestOutcome::Ok || it->outcome == ERequestOutcome::Slow) {
                    const int nLine = m_lines.lineOf ? m_lines.lineOf(*it) : it->nUrl;
                    if (nLine >= 0 && std::size_t(nLine) < m_vecShownLines.size())
                        m_vecShownLines[std::size_t(nLine)].push_back(*it);
                    if (it->outcome == ERequestOutcome::Slow && bInside)
                        m_vecShownSlow.push_back(*it);
                    if (it->bCheckFailed && bInside)
                        m_vecShownChecks.push_back(*it);
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
        chartData.Marks(m_vecShownSlow, m_vecShownFailed, m_vecShownChecks);
    }
    for (std::size_t nLine = 0; nLine < m_vecLines.size(); ++nLine) {
        m_vecLines[nLine]->replace(Positions(m_vecShownLines[nLine]));
        // A line of one request has no stretch to draw: its point shows.
        const bool bPoint = m_vecShownLines[nLine].size() == 1;
        if (m_vecLines[nLine]->pointsVisible() != bPoint)
            m_vecLines[nLine]->setPointsVisible(bPoint);
    }
    m_pSlowMarks->replace(Positions(m_vecShownSlow));
    m_pFailedMarks->replace(Positions(m_vecShownFailed));
    m_pCheckMarks->replace(Positions(m_vecShownChecks));
    Highlight(m_selected);
    // The marks of the whole run, or (zoomed in on its requests) of those in
    // view: a failed check seen once stays in the legend for the run.
    const bool bChecks = (bDetail && m_bChecks && !bNewRun) || !m_vecShownChecks.empty();
    if (bChecks != m_bChecks) {
        m_bChecks = bChecks;
        UpdateSideLegend();
    }

    // Across the whole run, whatever the zoom.
    const QList<QPointF> threshold = {QPointF(0, nThresholdMs), QPointF(m_dFullMs / m_dUnitMs, nThresholdMs)};
    if (nThresholdMs >= 0 && m_pThresholdLine->points() != threshold) {
        m_pThresholdLine->setName(QStringLiteral("Threshold (%1 ms)").arg(nThresholdMs));
        m_pThresholdLine->replace(threshold);
        ShapeLegend();
        LabelLines();
    }
    if (m_bThreshold != (nThresholdMs >= 0)) {
        m_bThreshold = nThresholdMs >= 0;
        UpdateSideLegend();
    }
    const bool bThresholdShown = m_bThreshold && !m_setHidden.contains(m_pThresholdLine);
    if (m_pThresholdLine->isVisible() != bThresholdShown) {
        m_pThresholdLine->setVisible(bThresholdShown);
        for (QLegendMarker* pMarker : chart()->legend()->markers(m_pThresholdLine))
            FadeMarker(pMarker);
    }
}

void CResponseTimeChart::ApplyTimeRange()
{
    // The waits' bands are drawn over the view, not as items of the scene:
    // when the axis moves, the scene repaints only where its items changed,
    // and pieces of a band would stay where it was. The whole view is drawn
    // again instead.
    if (!m_vecWaits.empty())
        viewport()->update();
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

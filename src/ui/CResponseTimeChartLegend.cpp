// The chart's legend: how it names the URLs' lines, how its entries are
// drawn, and a click on an entry hiding or showing its series.
#include "CResponseTimeChart.h"

#include "CResponseTimeChartSideLegend.h"
#include "CUrlNames.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPixmap>
#include <QScatterSeries>

#include <algorithm>

namespace {

// Room in the legend around its entries: the chart's margins.
constexpr int kLegendMargins = 60;
// Lines whose names a legend under the chart shows readably.
constexpr std::size_t kMostLinesUnder = 4;

// A legend entry's picture: the series' line, or its mark, as drawn.
QIcon EntryIcon(const QPen& pen, const QImage& mark)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!mark.isNull()) {
        painter.drawImage(QPointF((16 - mark.width()) / 2.0, (12 - mark.height()) / 2.0), mark);
    } else {
        QPen thick = pen;
        thick.setWidthF(2);
        painter.setPen(thick);
        painter.drawLine(QPointF(0, 6), QPointF(16, 6));
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QString CResponseTimeChart::ShortUrl(const QString& strUrl, const QStringList& urls)
{
    CUrlNames names;
    for (const QString& strEach : urls)
        names.Add(strEach);
    const qsizetype nUrl = urls.indexOf(strUrl);
    if (nUrl >= 0)
        return names.Name(int(nUrl));
    names.Add(strUrl);
    return names.Name(names.Count() - 1);
}

QString CResponseTimeChart::LegendLabel(const QString& strUrl, const QStringList& urls, const QFontMetrics& metrics,
                                        int nMaxWidth)
{
    return CUrlNames::Cut(ShortUrl(strUrl, urls), metrics, nMaxWidth);
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
    UpdateSideLegend();
    // The response axis reaches the threshold only while it shows.
    if (pSeries == m_pThresholdLine && m_onViewChanged)
        m_onViewChanged();
}

void CResponseTimeChart::LabelLines()
{
    // More lines than a row under the chart shows with their names: the
    // legend becomes a list beside the plot.
    const bool bBeside = m_vecLines.size() > kMostLinesUnder;
    if (bBeside != m_bBeside) {
        m_bBeside = bBeside;
        chart()->legend()->setVisible(!bBeside);
        m_pSideLegend->setVisible(bBeside);
        if (!bBeside)
            chart()->setMargins(m_defaultMargins);
        // The plot moves: the scene would repaint only where its items
        // changed, leaving pieces of the old plot. The whole view instead.
        viewport()->update();
    }
    if (bBeside) {
        UpdateSideLegend();
        PlaceSideLegend();
        return;
    }
    if (m_vecLines.empty())
        return;
    // Each entry takes its marker (a line high and wide) and some space
    // beside its label; the URLs' labels share what the other entries leave.
    const QFontMetrics metrics(chart()->legend()->font());
    const int nEntryRest = metrics.height() + 2 * metrics.averageCharWidth() + 8;
    int nRest = kLegendMargins + int(m_vecLines.size()) * nEntryRest;
    for (const QXYSeries* pSeries : std::initializer_list<const QXYSeries*>{m_pSlowMarks, m_pFailedMarks, m_pCheckMarks, m_pThresholdLine})
        nRest += nEntryRest + metrics.horizontalAdvance(pSeries->name());
    const int nWidth = std::clamp((width() - nRest) / int(m_vecLines.size()), 60, 320);
    for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl) {
        const QString strLabel = CUrlNames::Cut(m_lines.names.value(qsizetype(nUrl)), metrics, nWidth);
        for (QLegendMarker* pMarker : chart()->legend()->markers(m_vecLines[nUrl]))
            if (pMarker->label() != strLabel)
                pMarker->setLabel(strLabel);
    }
}

QIcon CResponseTimeChart::LineIcon(int nLine)
{
    // One picture per colour.
    const std::size_t nColour = std::size_t(nLine) % kLineColours;
    while (m_vecLineIcons.size() <= nColour)
        m_vecLineIcons.push_back(EntryIcon(QPen(UrlColour(int(m_vecLineIcons.size()))), QImage()));
    return m_vecLineIcons[nColour];
}

void CResponseTimeChart::UpdateSideLegend()
{
    if (!m_bBeside)
        return;
    using SEntry = CResponseTimeChartSideLegend::SEntry;
    if (m_vecMarkIcons.empty())
        m_vecMarkIcons = {EntryIcon(QPen(), m_pSlowMarks->lightMarker()), EntryIcon(QPen(), m_pFailedMarks->lightMarker()),
                          EntryIcon(QPen(), m_pCheckMarks->lightMarker()), EntryIcon(m_pThresholdLine->pen(), QImage())};
    // Slow and Failures always; Check failed when the run has any; the
    // threshold when there is one.
    m_vecPinned = {m_pSlowMarks, m_pFailedMarks};
    if (m_bChecks)
        m_vecPinned.push_back(m_pCheckMarks);
    if (m_bThreshold)
        m_vecPinned.push_back(m_pThresholdLine);
    std::vector<SEntry> pinned;
    for (QAbstractSeries* pSeries : m_vecPinned) {
        const QIcon& icon = pSeries == m_pSlowMarks     ? m_vecMarkIcons[0]
                            : pSeries == m_pFailedMarks ? m_vecMarkIcons[1]
                            : pSeries == m_pCheckMarks  ? m_vecMarkIcons[2]
                                                        : m_vecMarkIcons[3];
        pinned.push_back({pSeries->name(), icon, m_setHidden.contains(pSeries)});
    }
    m_pSideLegend->SetPinned(pinned);
    std::vector<SEntry> lines;
    lines.reserve(m_vecLines.size());
    for (std::size_t nLine = 0; nLine < m_vecLines.size(); ++nLine)
        lines.push_back({m_lines.names.value(qsizetype(nLine)), LineIcon(int(nLine)), m_setHidden.contains(m_vecLines[nLine])});
    m_pSideLegend->SetLines(lines);
}

void CResponseTimeChart::PlaceSideLegend()
{
    // At most a quarter of the chart's width; the names are cut in the
    // middle to it, whole in their tooltips.
    const int nWidth = std::clamp(m_pSideLegend->WantedWidth(), 100, std::max(100, width() / 4));
    const int nTop = QFontMetrics(chart()->titleFont()).height() + 16;
    const QRect place(width() - nWidth - 8, nTop, nWidth, std::max(40, height() - nTop - 12));
    if (m_pSideLegend->geometry() != place)
        m_pSideLegend->setGeometry(place);
    QMargins margins = m_defaultMargins;
    margins.setRight(margins.right() + nWidth + 8);
    if (chart()->margins() != margins) {
        chart()->setMargins(margins);
        viewport()->update();
    }
}

void CResponseTimeChart::resizeEvent(QResizeEvent* pEvent)
{
    QChartView::resizeEvent(pEvent);
    LabelLines();
}

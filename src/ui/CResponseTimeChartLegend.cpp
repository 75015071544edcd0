// The chart's legend: how it names the URLs' lines, how its entries are
// drawn, and a click on an entry hiding or showing its series.
#include "CResponseTimeChart.h"

#include "CUrlNames.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>

#include <algorithm>

namespace {

// Room in the legend around its entries: the chart's margins.
constexpr int kLegendMargins = 60;
// Lines whose names a legend under the chart shows readably.
constexpr std::size_t kMostLinesUnder = 4;

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
    return metrics.elidedText(ShortUrl(strUrl, urls), Qt::ElideMiddle, nMaxWidth);
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
    // The response axis reaches the threshold only while it shows.
    if (pSeries == m_pThresholdLine && m_onViewChanged)
        m_onViewChanged();
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
    for (const QXYSeries* pSeries : std::initializer_list<const QXYSeries*>{m_pSlowMarks, m_pFailedMarks, m_pCheckMarks, m_pThresholdLine})
        nRest += nEntryRest + metrics.horizontalAdvance(pSeries->name());
    int nWidth = std::clamp((width() - nRest) / int(m_vecLines.size()), 60, 320);
    // More lines than a row under the chart shows with their names: the
    // legend becomes a list beside the plot, each name up to a fifth of the
    // chart's width.
    const bool bBeside = m_vecLines.size() > kMostLinesUnder;
    const Qt::Alignment eWhere = bBeside ? Qt::AlignRight : Qt::AlignBottom;
    if (chart()->legend()->alignment() != eWhere)
        chart()->legend()->setAlignment(eWhere);
    if (bBeside)
        nWidth = std::clamp(width() / 5, 80, 220);
    for (std::size_t nUrl = 0; nUrl < m_vecLines.size(); ++nUrl) {
        const QString strLabel = metrics.elidedText(m_lines.names.value(qsizetype(nUrl)), Qt::ElideMiddle, nWidth);
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

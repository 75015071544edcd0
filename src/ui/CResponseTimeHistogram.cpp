#include "CResponseTimeHistogram.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QLegend>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>

CResponseTimeHistogram::CResponseTimeHistogram(QWidget* pParent) : QChartView(new QChart, pParent)
{
    setObjectName(QStringLiteral("histogram"));
    setRenderHint(QPainter::Antialiasing);
    QChart* pChart = chart();
    pChart->setTitle(QStringLiteral("Response times"));
    pChart->legend()->setAlignment(Qt::AlignBottom);
    auto* pSeries = new QStackedBarSeries;
    pSeries->setBarWidth(0.9);
    const std::pair<const char*, QColor> sets[] = {{"OK", QColor(0x5b, 0x8d, 0xc9)},
                                                   {"Slow", QColor(0xf0, 0x8c, 0x00)},
                                                   {"No response time", QColor(0xd3, 0x2f, 0x2f)}};
    for (const auto& [pName, colour] : sets) {
        auto* pSet = new QBarSet(QString::fromLatin1(pName));
        pSet->setColor(colour);
        pSet->setBorderColor(colour.darker(130));
        pSeries->append(pSet);
        m_vecSets.push_back(pSet);
    }
    pChart->addSeries(pSeries);
    m_pBinAxis = new QBarCategoryAxis;
    m_pCountAxis = new QValueAxis;
    m_pCountAxis->setTitleText(QStringLiteral("Responses"));
    m_pCountAxis->setLabelFormat(QStringLiteral("%.0f"));
    pChart->addAxis(m_pBinAxis, Qt::AlignBottom);
    pChart->addAxis(m_pCountAxis, Qt::AlignLeft);
    pSeries->attachAxis(m_pBinAxis);
    pSeries->attachAxis(m_pCountAxis);
    Show(CResultsChartData::SHistogram());
}

QStringList CResponseTimeHistogram::FailureCaptions()
{
    return {QStringLiteral("timeout"), QStringLiteral("failed"), QStringLiteral("not sent")};
}

int CResponseTimeHistogram::FittingBins(const CResultsChartData& chartData, int nMostBins) const
{
    const QFontMetrics labels(m_pBinAxis->labelsFont());
    const QStringList captions = FailureCaptions();
    int nLabel = labels.horizontalAdvance(QString(QString::number(std::max<std::int64_t>(chartData.MaxTimeMs(), 100)).size(),
                                                  QLatin1Char('0')));
    int nFailureBars = 0;
    for (std::size_t nKind = 0; nKind < chartData.Failures().size(); ++nKind) {
        if (chartData.Failures()[nKind] > 0) {
            ++nFailureBars;
            nLabel = std::max(nLabel, labels.horizontalAdvance(captions[qsizetype(nKind)]));
        }
    }
    // Room beside the count axis: its labels and title, and the margins.
    const int nPlot = width() - labels.horizontalAdvance(QStringLiteral("000000")) - 3 * labels.height() - 60;
    return std::clamp(nPlot / (nLabel + 12) - nFailureBars, 3, std::max(3, nMostBins));
}

void CResponseTimeHistogram::Show(const CResultsChartData& chartData, int nMostBins)
{
    m_nFittingWidth = width();
    Show(chartData.Histogram(FittingBins(chartData, nMostBins)));
}

void CResponseTimeHistogram::resizeEvent(QResizeEvent* pEvent)
{
    QChartView::resizeEvent(pEvent);
    if (m_onRoomChanged && m_nFittingWidth != width())
        m_onRoomChanged();
}

int CResponseTimeHistogram::MinimumReadableHeight() const
{
    // The count axis' title stands beside the plot: the plot is as high as
    // it is long; above and below go the title, the bin labels, the bin
    // axis' title and the legend, each a line, and the chart's margins.
    const QChart* pChart = chart();
    const QFontMetrics title(pChart->titleFont());
    const QFontMetrics axisTitle(m_pCountAxis->titleFont());
    const QFontMetrics labels(m_pBinAxis->labelsFont());
    const QFontMetrics legend(pChart->legend()->font());
    return axisTitle.horizontalAdvance(m_pCountAxis->titleText()) + 2 * labels.height() + title.height() +
           axisTitle.height() + legend.height() + 110;
}

void CResponseTimeHistogram::Show(const CResultsChartData::SHistogram& histogram)
{
    QStringList categories;
    std::vector<QList<qreal>> values(m_vecSets.size());
    double dTallest = 0;
    for (std::size_t nBin = 0; nBin < histogram.vecBins.size(); ++nBin) {
        categories << QString::number(histogram.nFirstMs + std::int64_t(nBin) * histogram.nWidthMs);
        double dHeight = 0;
        for (std::size_t nSet = 0; nSet < 2; ++nSet) {
            values[nSet].append(double(histogram.vecBins[nBin][nSet]));
            dHeight += double(histogram.vecBins[nBin][nSet]);
        }
        values[2].append(0);
        dTallest = std::max(dTallest, dHeight);
    }
    const QStringList failureCaptions = FailureCaptions();
    for (std::size_t nKind = 0; nKind < histogram.failures.size(); ++nKind) {
        if (histogram.failures[nKind] == 0)
            continue;
        categories << failureCaptions[qsizetype(nKind)];
        values[0].append(0);
        values[1].append(0);
        values[2].append(double(histogram.failures[nKind]));
        dTallest = std::max(dTallest, double(histogram.failures[nKind]));
    }
    for (std::size_t nSet = 0; nSet < m_vecSets.size(); ++nSet) {
        m_vecSets[nSet]->remove(0, m_vecSets[nSet]->count());
        m_vecSets[nSet]->append(values[nSet]);
    }
    m_pBinAxis->setCategories(categories);
    m_pBinAxis->setTitleText(histogram.vecBins.empty()
                                 ? QStringLiteral("Response time (ms)")
                                 : QStringLiteral("Response time (ms), bars of %1 ms").arg(histogram.nWidthMs));
    // Whole counts only: a few requests get a tick per count.
    if (dTallest <= 5) {
        m_pCountAxis->setRange(0, std::max(1.0, dTallest));
        m_pCountAxis->setTickCount(int(std::max(1.0, dTallest)) + 1);
    } else {
        m_pCountAxis->setRange(0, dTallest);
        m_pCountAxis->applyNiceNumbers();
    }
}

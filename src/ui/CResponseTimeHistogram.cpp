#include "CResponseTimeHistogram.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
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
    m_pBase = new QLineSeries;
    m_pBase->setPen(QPen(QColor(0x40, 0x40, 0x40), 2, Qt::DashLine));
    m_pBase->setPointsVisible(true);
    pChart->addSeries(m_pBase);
    m_pBase->attachAxis(m_pBinAxis);
    m_pBase->attachAxis(m_pCountAxis);
    m_pBase->hide();
    pChart->legend()->markers(m_pBase).value(0)->setVisible(false);
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
    m_pShownData = &chartData;
    m_nShownMostBins = nMostBins;
    // The bars take in a compared run's responses too (sorted: its first
    // and last).
    Show(m_vecBaseUs.empty() ? chartData.Histogram(FittingBins(chartData, nMostBins))
                             : chartData.Histogram(FittingBins(chartData, nMostBins), m_vecBaseUs.front() / 1000,
                                                   m_vecBaseUs.back() / 1000));
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

void CResponseTimeHistogram::SetBase(const QString& strName, std::vector<std::uint32_t> timesUs)
{
    m_strBaseName = strName;
    m_vecBaseUs = std::move(timesUs);
    if (m_pShownData != nullptr)
        Show(*m_pShownData, m_nShownMostBins);
    else
        Show(CResultsChartData::SHistogram(m_shown));
}

void CResponseTimeHistogram::Show(const CResultsChartData::SHistogram& histogram)
{
    m_shown = histogram;
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
    // The base's responses in the same bars; those outside them are told.
    QList<QPointF> base;
    if (!m_strBaseName.isEmpty() && !histogram.vecBins.empty()) {
        auto edge = [&](std::size_t nBin) {
            const std::int64_t nUs = (histogram.nFirstMs + std::int64_t(nBin) * histogram.nWidthMs) * 1000;
            return std::lower_bound(m_vecBaseUs.begin(), m_vecBaseUs.end(), std::max<std::int64_t>(nUs, 0),
                                    [](std::uint32_t nTime, std::int64_t nAt) { return std::int64_t(nTime) < nAt; });
        };
        for (std::size_t nBin = 0; nBin < histogram.vecBins.size(); ++nBin) {
            const auto nCount = double(edge(nBin + 1) - edge(nBin));
            base.append(QPointF(double(nBin), nCount));
            dTallest = std::max(dTallest, nCount);
        }
        const auto nOutside = std::int64_t(m_vecBaseUs.size()) - (edge(histogram.vecBins.size()) - edge(0));
        m_pBase->setName(nOutside == 0 ? QStringLiteral("Base: %1").arg(m_strBaseName)
                                       : QStringLiteral("Base: %1 (%2 outside the bars)").arg(m_strBaseName).arg(nOutside));
    }
    m_pBase->replace(base);
    m_pBase->setVisible(!base.isEmpty());
    chart()->legend()->markers(m_pBase).value(0)->setVisible(!base.isEmpty());
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

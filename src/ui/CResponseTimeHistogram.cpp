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
                                                   {"Slow", QColor(0xf0, 0x8c, 0x00)}};
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

void CResponseTimeHistogram::Show(const CResultsChartData::SHistogram& histogram)
{
    QStringList categories;
    std::vector<QList<qreal>> values(m_vecSets.size());
    double dTallest = 0;
    for (std::size_t nBin = 0; nBin < histogram.vecBins.size(); ++nBin) {
        categories << QString::number(histogram.nFirstMs + std::int64_t(nBin) * histogram.nWidthMs);
        double dHeight = 0;
        for (std::size_t nSet = 0; nSet < values.size(); ++nSet) {
            values[nSet].append(double(histogram.vecBins[nBin][nSet]));
            dHeight += double(histogram.vecBins[nBin][nSet]);
        }
        dTallest = std::max(dTallest, dHeight);
    }
    for (std::size_t nSet = 0; nSet < m_vecSets.size(); ++nSet) {
        m_vecSets[nSet]->remove(0, m_vecSets[nSet]->count());
        m_vecSets[nSet]->append(values[nSet]);
    }
    m_pBinAxis->setCategories(categories);
    m_pBinAxis->setTitleText(histogram.vecBins.empty()
                                 ? QStringLiteral("Response time (ms)")
                                 : QStringLiteral("Response time (ms), bars of %1 ms").arg(histogram.nWidthMs));
    m_pCountAxis->setRange(0, std::max(1.0, dTallest));
    m_pCountAxis->applyNiceNumbers();
}

#pragma once

#include "CResultsChartData.h"

#include <QChartView>

#include <vector>

class QBarCategoryAxis;
class QBarSet;
class QValueAxis;

// How many responses took how long: bars of a round width, each split into
// the ok and the slow responses. A bar is named by its lower edge.
class CResponseTimeHistogram : public QChartView {
public:
    explicit CResponseTimeHistogram(QWidget* pParent = nullptr);

    void Show(const CResultsChartData::SHistogram& histogram);

private:
    QBarCategoryAxis* m_pBinAxis = nullptr;
    QValueAxis* m_pCountAxis = nullptr;
    std::vector<QBarSet*> m_vecSets;  // ok, slow
};

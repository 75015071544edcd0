#pragma once

#include "CResultsChartData.h"

#include <QChartView>

#include <cstdint>
#include <functional>
#include <vector>

class QBarCategoryAxis;
class QLineSeries;
class QBarSet;
class QValueAxis;

// How many responses took how long: bars of a round width, each split into
// the ok and the slow responses. A bar is named by its lower edge. Requests
// without a response time follow as bars of their own, "timeout", "failed"
// and "not sent", each shown when the run had one. A saved run compared
// with it (SetBase) is drawn over the bars as a dashed grey outline: its
// responses counted in the same bars.
class CResponseTimeHistogram : public QChartView {
public:
    explicit CResponseTimeHistogram(QWidget* pParent = nullptr);

    void Show(const CResultsChartData::SHistogram& histogram);
    // The data's histogram in as many bins, up to nMostBins, as the view
    // has room for with every label whole.
    void Show(const CResultsChartData& data, int nMostBins);
    // The bins whose labels fit the view's width beside the data's failure
    // bars, at most nMostBins and at least 3.
    int FittingBins(const CResultsChartData& data, int nMostBins) const;
    // What happens when a new width fits another number of bins.
    void SetOnRoomChanged(std::function<void()> onChanged) { m_onRoomChanged = std::move(onChanged); }

    // The run compared with, named strName: its response times in
    // microseconds, ascending; none (empty name): no outline.
    void SetBase(const QString& strName, std::vector<std::uint32_t> timesUs);
    // The outline: a point per time bar, at its count of the base's responses.
    QLineSeries* BaseSeries() const { return m_pBase; }

    // The least height at which no axis text is cut short.
    int MinimumReadableHeight() const;

    // The captions of the failure bars: timeouts, failed, not sent.
    static QStringList FailureCaptions();

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    std::function<void()> m_onRoomChanged;
    int m_nFittingWidth = -1;  // the width the last bins were fitted to
    QBarCategoryAxis* m_pBinAxis = nullptr;
    QValueAxis* m_pCountAxis = nullptr;
    std::vector<QBarSet*> m_vecSets;  // ok, slow, failures
    QLineSeries* m_pBase = nullptr;
    QString m_strBaseName;
    std::vector<std::uint32_t> m_vecBaseUs;
    CResultsChartData::SHistogram m_shown;
    // The figures last shown whole (binned again when a base comes or goes).
    const CResultsChartData* m_pShownData = nullptr;
    int m_nShownMostBins = 0;
};

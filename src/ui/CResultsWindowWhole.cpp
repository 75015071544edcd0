// A whole recorded run taken in at once (an opened report): built off the
// window's thread by CResultsBulk, taken here in a few swaps.
#include "CResultsWindow.h"

#include "CRequestListModel.h"
#include "CResultsBulk.h"
#include "CResultsTable.h"

#include <utility>

void CResultsWindow::ShowWhole(CResultsBulk& bulk)
{
    // What the listener still holds of an earlier run goes first.
    m_pListener->Drain();
    StartShowing(bulk.start);
    if (!bulk.fleetDevices.isEmpty() && bulk.vecDeviceOf.size() == bulk.points.size())
        m_fleet = SFleet{bulk.fleetDevices, bulk.vecDeviceOf};
    // Shown or hidden once: toggled, the charts below would jump.
    m_pChartByRow->setVisible(IsFleet());
    // The URLs before their requests: the filter's entries, the short
    // names, the chart's lines (grouped, for many URLs, once the requests
    // are in).
    for (const QString& strUrl : std::as_const(bulk.urls))
        OnUrlSeen(strUrl);
    m_statistics.Swap(bulk.statistics);
    m_verdict.Swap(bulk.verdict);
    m_snapshot = CRunStatisticsSnapshot();
    m_bSnapshotBehind = false;
    // The table reads the snapshot it was given: told of the empty one at
    // once, so no drawing before the next refresh reads rows that are gone.
    m_pTable->Show(m_snapshot);
    m_pRequests->Adopt(std::move(bulk.points), std::move(bulk.allRows));
    if (m_eChartLines == EChartLines::PerUrl && bulk.bChart && bulk.chart.UrlCount() == m_data.UrlCount()) {
        std::swap(m_data, bulk.chart);
    } else {
        GroupChartLines();
    }
    m_vecWaits = std::move(bulk.waits);
    m_bWaitsChanged = true;
    // Drawn in the next turn of the event loop (OnRunEnded's refresh), so
    // that the swaps and the drawing are two short turns, not one long one.
    OnRunEnded(bulk.end);
}

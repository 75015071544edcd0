#pragma once

#include "CBesidePlacer.h"

#include "CResponseTimeChart.h"
#include "CResultsChartData.h"
#include "CResultsListener.h"
#include "CUserPrompts.h"
#include "engine/CFleetRunner.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"

#include <QHash>
#include <QMargins>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>
#include <optional>

class CRequestListModel;
class CResultsBulk;
class CResponseTimeHistogram;
class CResultsTable;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTableView;
class QTableWidget;

// The results of the last run, in a window of its own beside the main one:
// response time per request over the run's time, a histogram of response
// times, and below them, in tabs, the statistics per URL and in total and
// the list of every request. Results come through Listener() from the run's
// worker and are drawn in batches, at most every kRefreshMs while the window
// is shown; the window keeps a run's results until the next run starts. The
// chart can be saved as PNG, the table and the request list (as filtered)
// as CSV.
//
// The charts keep the height their axis texts need: a window too low for
// them scrolls rather than squeezing them. Picking a request in the list
// rings it on the chart; clicking a request on the chart picks its row.
//
// The run must be over before the window goes: Listener() is part of it.
class CResultsWindow : public QWidget, private CResultsListener::ISink {
    Q_OBJECT

public:
    explicit CResultsWindow(QWidget* pParent = nullptr);
    ~CResultsWindow() override;

    // What a run reports to; callable from any thread.
    IRunListener& Listener();
    // The response limit the chart shows until a run reports its own.
    void SetThreshold(int nMs);
    // Shows the window raised and active beside pMain, frames counted, to
    // its right when the screen's available area has room, else to its left,
    // else with pMain moved over as far as both need; over pMain when the
    // two do not fit side by side. Never off the available area nor larger
    // than it. A window already shown only comes to the front.
    void ShowBeside(QWidget* pMain);
    // The file choosers and error boxes of the save commands.
    CUserPrompts& UserPrompts() { return m_prompts; }
    // Takes in every result handed over so far and draws at once.
    void Flush();
    // A fleet's devices, by name in the list's order, and each request's
    // device (by the request's place in the run).
    struct SFleet {
        QStringList devices;
        std::vector<int> vecDeviceOf;
    };
    // Shows a run recorded elsewhere (a device of a fleet, or the whole
    // fleet, with its devices) in place of the last one, as if it had been
    // reported here. A fleet's chart draws a line per script line or, as
    // chosen above it, per device.
    void ShowRecord(const CRunRecord::SCopy& run, const SFleet& fleet = SFleet());
    // Shows a recorded run built whole elsewhere (an opened report's) in
    // place of the last one, as if it had been reported here: taken from
    // bulk in a few swaps, not request by request. bulk is left emptied.
    void ShowWhole(CResultsBulk& bulk);

    // The verdict a report recorded, shown in place of the one the window
    // judges from the requests (a requirement's failure is not in them);
    // until the next run starts.
    void SetRecordedVerdict(const CRunVerdictSummary& verdict) { m_recordedVerdict = verdict; ScheduleRefresh(); }
    // What "Save results as..." does (the main window's File > Save results
    // as...); the button is shown once it is set.
    void SetOnSaveResults(std::function<void()> onSave);

    // What "Compare with..." and "Clear comparison" do (the main window's
    // File > Compare with...); the buttons are shown once set.
    void SetOnCompare(std::function<void()> onCompare, std::function<void()> onClear);
    // A saved run (strBaseName) compared with the one shown: its responses'
    // times (microseconds, ascending) as an outline over the histogram, its
    // p95 as a dashed line on the chart, and the comparison table under the
    // statistics, which the caller fills (ComparisonTable), shown; until
    // ClearComparison or the next run (or report) shown.
    void ShowComparison(const QString& strBaseName, std::vector<std::uint32_t> baseTimesUs, double dBaseP95Ms);
    void ClearComparison();
    bool IsComparing() const { return !m_strComparedWith.isEmpty(); }
    QTableWidget* ComparisonTable() const { return m_pComparison; }
    QLabel* ComparisonCaption() const { return m_pComparisonCaption; }

    // "Save chart as PNG", "Save table as CSV" and "Save requests as CSV".
    void OnSaveChart();
    void OnSaveTable();
    void OnSaveRequests();

    // What the window shows (as of its last drawing).
    const CRunStatisticsSnapshot& Statistics() const { return m_snapshot; }
    CResponseTimeChart* TimeChart() const { return m_pTimeChart; }
    CResponseTimeHistogram* Histogram() const { return m_pHistogram; }
    CResultsTable* Table() const { return m_pTable; }
    // The CheckAlive lines' downtimes, under the statistics.
    QTableWidget* CheckAliveTable() const { return m_pCheckAlives; }
    // The status line above the charts.
    QString SummaryText() const { return Summary(); }
    CRequestListModel* Requests() const { return m_pRequests; }
    QTableView* RequestList() const { return m_pRequestList; }
    QComboBox* RequestFilter() const { return m_pFilter; }
    QScrollArea* ChartsArea() const { return m_pScroll; }
    // A fleet's "Chart by": script line (0) or device (1).
    QComboBox* ChartBy() const { return m_pChartBy; }

    static constexpr int kRefreshMs = 250;
    // The statistics table takes at most this many new URLs a drawing, so
    // that a sweep's thousands of new URLs never hold the window long; the
    // rest come in the next turns.
    static constexpr std::size_t kMaxNewUrlsPerDrawing = 4096;
    // Up to this many URLs the chart draws a line per URL; beyond it, a
    // line per script line, or per group of neighbouring script lines when
    // the lines are more than kMostLineGroups.
    static constexpr int kMostChartLines = 24;
    // At most this many groups of script lines: the legend beside the chart
    // names each.
    static constexpr int kMostLineGroups = 12;
    // A fleet drawn per device: a line each up to this many devices (the
    // legend's list scrolls), beyond it neighbouring devices share one.
    static constexpr int kMostDeviceLines = 100;
    static constexpr int kHistogramBins = 20;

protected:
    void showEvent(QShowEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void OnRunStarted(const CRunStartInfo& info) override;
    void OnUrlSeen(const QString& strUrl) override;
    void OnResults(const std::vector<CResultsListener::SPoint>& points) override;
    void OnWait(const CCheckAliveResult& wait) override;
    void OnRunEnded(const CRunEndInfo& info) override;
    // A run's results cleared for the next one's (reported or shown).
    void StartShowing(const CRunStartInfo& info);

    // The tables' tabs: the statistics with the CheckAlive lines under them,
    // and the request list with its filter.
    QWidget* NewStatisticsPage();
    QWidget* NewRequestsPage();
    // The comparison's caption and table (hidden until a comparison), and
    // its two buttons.
    QWidget* NewComparisonPart();
    void MakeRoomForTheComparison();
    void ShowCheckAlives();
    void OnFilterChosen(int nChoice);
    void OnRequestPicked();
    void OnPointClicked(const CResultsListener::SPoint& point);
    void ShowRequestCount();
    // The charts' least heights, for their fonts.
    void KeepChartsReadable();
    // The chart's line of a request; -1: none yet.
    int ChartLineOf(const CResultsListener::SPoint& point) const;
    // Its group of script lines or of devices.
    int ChartGroupOf(const CResultsListener::SPoint& point) const;
    void NameLineGroup(int nChartLine);
    bool IsFleet() const { return !m_fleet.devices.isEmpty(); }
    void OnChartByChosen(int nChoice);
    // Files a request (already among the list's or the pending ones) in
    // the chart, grouping the chart's lines anew when they grow too many.
    void AddToChart(const CResultsListener::SPoint& point);
    // The chart's lines made anew from every request so far.
    void GroupChartLines();
    CResponseTimeChart::SLines ChartLines() const;
    void ScheduleRefresh();
    void Refresh();
    QString Summary() const;
    void SaveFile(const QString& strFilter, const QString& strSuffix, const std::function<bool(QIODevice&)>& write);

    CResultsListener* m_pListener = nullptr;  // child object
    CUserPrompts m_prompts;
    CRunStatistics m_statistics;
    CRunVerdict m_verdict;
    CRunStatisticsSnapshot m_snapshot;
    bool m_bSnapshotBehind = false;  // URLs the table has yet to take
    CResultsChartData m_data;
    // The chart's lines: a URL's each, or, once the URLs are too many for
    // that (or a fleet's), groups of script lines or devices: how many to a
    // group, group -> the chart's line, and per line its name and the
    // lowest and highest script line (or device) in it.
    enum class EChartLines { PerUrl, PerScriptLine, PerDevice } m_eChartLines = EChartLines::PerUrl;
    int m_nPerGroup = 1;
    QHash<int, int> m_hashGroups;
    QStringList m_groupNames;
    std::vector<std::pair<int, int>> m_vecGroupSpans;
    SFleet m_fleet;                // the fleet shown; none: a run's
    bool m_bChartByDevice = false; // a fleet's chart, as chosen
    int m_nChartGeneration = 0;
    int m_nThresholdMs = -1;  // none
    CRunStartInfo m_start;
    CRunEndInfo m_end;
    enum class ERunState { None, Running, Ended } m_eRunState = ERunState::None;
    QTimer m_refreshTimer;
    CBesidePlacer* m_pPlacer = nullptr;  // child object

    std::vector<CResultsListener::SPoint> m_vecPending;  // for the request list, at the next drawing

    QLabel* m_pSummary = nullptr;
    QWidget* m_pChartByRow = nullptr;
    QComboBox* m_pChartBy = nullptr;
    QScrollArea* m_pScroll = nullptr;
    QSplitter* m_pSplitter = nullptr;
    QComboBox* m_pFilter = nullptr;
    // The request filter's entries: all, failed, slow, failed checks, then one per URL.
    static constexpr int kFirstUrlFilter = 4;
    QLabel* m_pRequestCount = nullptr;
    QTableView* m_pRequestList = nullptr;
    CRequestListModel* m_pRequests = nullptr;  // child object
    QPushButton* m_pResetZoom = nullptr;
    CResponseTimeChart* m_pTimeChart = nullptr;
    CResponseTimeHistogram* m_pHistogram = nullptr;
    CResultsTable* m_pTable = nullptr;
    QTableWidget* m_pCheckAlives = nullptr;
    std::vector<CCheckAliveResult> m_vecWaits;
    std::optional<CRunVerdictSummary> m_recordedVerdict;
    QPushButton* m_pSaveResults = nullptr;
    std::function<void()> m_onSaveResults;
    QPushButton* m_pCompare = nullptr;
    QPushButton* m_pClearComparison = nullptr;
    QLabel* m_pComparisonCaption = nullptr;
    QTableWidget* m_pComparison = nullptr;
    QString m_strComparedWith;
    bool m_bWaitsChanged = false;
};

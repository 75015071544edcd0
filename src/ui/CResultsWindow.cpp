#include "CResultsWindow.h"

#include "CAppIcon.h"
#include "CRequestListModel.h"
#include "CResponseTimeChart.h"
#include "CResponseTimeHistogram.h"
#include "CResultsTable.h"
#include "WindowKeys.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

CResultsWindow::CResultsWindow(QWidget* pParent) : QWidget(pParent, Qt::Window)
{
    setObjectName(QStringLiteral("results"));
    setWindowTitle(QStringLiteral("Results - Velkor"));
    setWindowIcon(CAppIcon::Icon());
    m_pListener = new CResultsListener(*this, this);
    m_pPlacer = new CBesidePlacer(*this);

    m_pTimeChart = new CResponseTimeChart;
    m_pHistogram = new CResponseTimeHistogram;
    m_pTable = new CResultsTable;
    m_pTimeChart->SetOnViewChanged([this] {
        Refresh();
        m_pResetZoom->setEnabled(m_pTimeChart->IsZoomed());
    });
    m_pHistogram->SetOnRoomChanged([this] { m_pHistogram->Show(m_data, kHistogramBins); });
    m_pTimeChart->SetOnPointClicked([this](const CResultsListener::SPoint& point) { OnPointClicked(point); });

    // The request list: a filter above it, and the count it shows.
    QWidget* pListPage = NewRequestsPage();

    // Under the statistics, a row per CheckAlive line, shown once a run waited.
    QWidget* pStatisticsPage = NewStatisticsPage();

    auto* pTabs = new QTabWidget;
    pTabs->setObjectName(QStringLiteral("tables"));
    pTabs->addTab(pStatisticsPage, QStringLiteral("Statistics"));
    pTabs->addTab(pListPage, QStringLiteral("Requests"));

    // The charts and the tables share the height as dragged; a window lower
    // than their least heights scrolls.
    m_pSplitter = new QSplitter(Qt::Vertical);
    m_pSplitter->setChildrenCollapsible(false);
    m_pSplitter->addWidget(m_pTimeChart);
    m_pSplitter->addWidget(m_pHistogram);
    m_pSplitter->addWidget(pTabs);
    m_pSplitter->setStretchFactor(0, 4);
    m_pSplitter->setStretchFactor(1, 2);
    m_pSplitter->setStretchFactor(2, 2);
    m_pSplitter->setSizes({520, 260, 240});
    m_pScroll = new QScrollArea;
    m_pScroll->setObjectName(QStringLiteral("chartsArea"));
    m_pScroll->setWidgetResizable(true);
    m_pScroll->setFrameShape(QFrame::NoFrame);
    m_pScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pScroll->setWidget(m_pSplitter);
    KeepChartsReadable();

    m_pSummary = new QLabel;
    m_pSummary->setObjectName(QStringLiteral("summary"));
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pSummary->setWordWrap(true);
    m_pResetZoom = new QPushButton(QStringLiteral("Reset zoom"));
    m_pResetZoom->setObjectName(QStringLiteral("resetZoom"));
    m_pResetZoom->setToolTip(QStringLiteral("The whole run on the time axis (or double-click the chart);\n"
                                            "the mouse wheel zooms, dragging pans"));
    m_pResetZoom->setEnabled(false);
    connect(m_pResetZoom, &QPushButton::clicked, m_pTimeChart, [this] { m_pTimeChart->ResetZoom(); });
    auto* pSaveChart = new QPushButton(QStringLiteral("Save chart as PNG"));
    pSaveChart->setObjectName(QStringLiteral("saveChart"));
    connect(pSaveChart, &QPushButton::clicked, this, &CResultsWindow::OnSaveChart);
    auto* pSaveTable = new QPushButton(QStringLiteral("Save table as CSV"));
    pSaveTable->setObjectName(QStringLiteral("saveTable"));
    connect(pSaveTable, &QPushButton::clicked, this, &CResultsWindow::OnSaveTable);
    auto* pSaveRequests = new QPushButton(QStringLiteral("Save requests as CSV"));
    pSaveRequests->setObjectName(QStringLiteral("saveRequests"));
    connect(pSaveRequests, &QPushButton::clicked, this, &CResultsWindow::OnSaveRequests);
    m_pSaveResults = new QPushButton(QStringLiteral("Save results as..."));
    m_pSaveResults->setObjectName(QStringLiteral("saveResults"));
    m_pSaveResults->setToolTip(QStringLiteral("The run's report as velkor-cli writes it: JSON, JUnit XML, HTML or CSV"));
    m_pSaveResults->hide();
    connect(m_pSaveResults, &QPushButton::clicked, this, [this] {
        if (m_onSaveResults)
            m_onSaveResults();
    });
    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pResetZoom);
    // Left of the save buttons' stretch: they keep their places at the right.
    pBottom->addWidget(AddCloseKeys(*this));
    pBottom->addStretch(1);
    pBottom->addWidget(pSaveChart);
    pBottom->addWidget(pSaveTable);
    pBottom->addWidget(pSaveRequests);

    // A fleet's chart: a line per script line or per device.
    m_pChartBy = new QComboBox;
    m_pChartBy->setObjectName(QStringLiteral("chartBy"));
    m_pChartBy->addItems({QStringLiteral("Script line (devices together)"), QStringLiteral("Device")});
    m_pChartBy->setToolTip(QStringLiteral("What each line of the time chart gathers"));
    connect(m_pChartBy, &QComboBox::currentIndexChanged, this, &CResultsWindow::OnChartByChosen);
    m_pChartByRow = new QWidget;
    auto* pChartByLayout = new QHBoxLayout(m_pChartByRow);
    pChartByLayout->setContentsMargins(0, 0, 0, 0);
    auto* pChartByLabel = new QLabel(QStringLiteral("Chart &lines by:"));
    pChartByLabel->setBuddy(m_pChartBy);
    pChartByLayout->addWidget(pChartByLabel);
    pChartByLayout->addWidget(m_pChartBy);
    pChartByLayout->addStretch(1);
    m_pChartByRow->hide();

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pSummary);
    pLayout->addWidget(m_pChartByRow);
    pLayout->addWidget(m_pScroll, 1);
    // The run as a document (its report, a comparison) in a row of its own
    // above: in one row with the saves of what is in view the buttons made
    // the window wider than a 1366 screen's room beside the main window.
    auto* pReportRow = new QHBoxLayout;
    pReportRow->addWidget(m_pSaveResults);
    pReportRow->addWidget(m_pCompare);
    pReportRow->addWidget(m_pClearComparison);
    pReportRow->addStretch(1);
    pLayout->addLayout(pReportRow);
    pLayout->addLayout(pBottom);
    resize(880, 950);

    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CResultsWindow::Refresh);
    Refresh();
}

CResultsWindow::~CResultsWindow() = default;

IRunListener& CResultsWindow::Listener() { return *m_pListener; }

void CResultsWindow::SetThreshold(int nMs)
{
    // A run's results keep the limit they were judged by.
    if (m_eRunState != ERunState::None)
        return;
    m_nThresholdMs = nMs;
    ScheduleRefresh();
}

void CResultsWindow::Flush()
{
    m_pListener->Drain();
    Refresh();
}

void CResultsWindow::showEvent(QShowEvent* pEvent)
{
    QWidget::showEvent(pEvent);
    Refresh();
    m_pPlacer->OnShown();
}

void CResultsWindow::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    m_pPlacer->OnMoved();
}

void CResultsWindow::ShowBeside(QWidget* pMain)
{
    m_pPlacer->ShowBeside(pMain);
}

void CResultsWindow::OnRunStarted(const CRunStartInfo& info)
{
    StartShowing(info);
    m_pChartByRow->hide();
}

void CResultsWindow::StartShowing(const CRunStartInfo& info)
{
    m_statistics.OnRunStart(info);
    m_verdict.OnRunStart(info);
    m_data.Clear();
    m_eChartLines = EChartLines::PerUrl;
    m_nPerGroup = 1;
    m_hashGroups.clear();
    m_groupNames.clear();
    m_vecGroupSpans.clear();
    m_fleet = SFleet();
    ++m_nChartGeneration;
    m_vecPending.clear();
    m_pRequests->Clear();
    while (m_pFilter->count() > kFirstUrlFilter)
        m_pFilter->removeItem(m_pFilter->count() - 1);
    if (m_pRequests->Filter() == CRequestListModel::EFilter::All)
        m_pFilter->setCurrentIndex(0);
    m_pTimeChart->ResetZoom();
    m_pTimeChart->Highlight(std::nullopt);
    m_vecWaits.clear();
    m_bWaitsChanged = true;
    m_start = info;
    m_end = CRunEndInfo();
    m_recordedVerdict.reset();
    ClearComparison();
    m_eRunState = ERunState::Running;
    m_nThresholdMs = info.nThresholdMs;
    ScheduleRefresh();
}

void CResultsWindow::OnUrlSeen(const QString& strUrl)
{
    const std::vector<int> vecRenamed = m_pRequests->AddUrl(strUrl);
    const CUrlNames& names = m_pRequests->Names();
    // The filter's entries name the URLs as the legend does; a new URL
    // renames at most an earlier one.
    for (int nUrl : vecRenamed)
        m_pFilter->setItemText(kFirstUrlFilter + nUrl, names.Name(nUrl));
    const int nUrl = names.Count() - 1;
    m_pFilter->addItem(names.Name(nUrl));
    m_pFilter->setItemData(kFirstUrlFilter + nUrl, strUrl, Qt::ToolTipRole);
    if (m_eChartLines != EChartLines::PerUrl)
        return;
    if (names.Count() > kMostChartLines || IsFleet())
        GroupChartLines();
    else
        m_data.AddUrl();
}

void CResultsWindow::OnResults(const std::vector<CResultsListener::SPoint>& points)
{
    CRequestResult result;
    const QStringList& urls = m_pRequests->Urls();
    for (const CResultsListener::SPoint& point : points) {
        m_vecPending.push_back(point);
        AddToChart(point);
        CResultsListener::FillResult(point, urls.value(point.nUrl), result);
        m_statistics.Add(result);
        m_verdict.OnRequest(result);
    }
    ScheduleRefresh();
}

void CResultsWindow::OnWait(const CCheckAliveResult& wait)
{
    m_statistics.OnCheckAlive(wait);
    m_vecWaits.push_back(wait);
    m_bWaitsChanged = true;
    ScheduleRefresh();
}

void CResultsWindow::ShowRecord(const CRunRecord::SCopy& run, const SFleet& fleet)
{
    // What the listener still holds of an earlier run goes first.
    m_pListener->Drain();
    StartShowing(run.start);
    if (!fleet.devices.isEmpty() && fleet.vecDeviceOf.size() == run.requests.size())
        m_fleet = fleet;
    // Shown or hidden once: toggled, the charts below would jump.
    m_pChartByRow->setVisible(IsFleet());
    QHash<QString, int> urls;
    std::vector<CResultsListener::SPoint> points;
    points.reserve(run.requests.size());
    for (const CRequestResult& result : run.requests) {
        auto it = urls.constFind(result.strUrl);
        if (it == urls.constEnd()) {
            it = urls.insert(result.strUrl, int(urls.size()));
            OnUrlSeen(result.strUrl);
        }
        CResultsListener::SPoint point;
        point.nAtMs = result.nAtMs;
        point.nTimeMs = result.nTimeMs;
        point.nIndex = result.nIndex;
        point.nPass = result.nPass;
        point.nUrl = *it;
        point.nLine = result.nLine;
        point.nStatus = std::int16_t(result.nStatus >= -1 && result.nStatus <= 9999 ? result.nStatus : -1);
        point.outcome = result.outcome;
        point.bPass = result.bPass;
        point.bCheckFailed = result.nChecksFailed > 0;
        points.push_back(point);
    }
    if (!points.empty())
        OnResults(points);
    for (const CCheckAliveResult& wait : run.waits)
        OnWait(wait);
    if (run.end)
        OnRunEnded(*run.end);
    if (isVisible())
        Refresh();
}

void CResultsWindow::OnRunEnded(const CRunEndInfo& info)
{
    m_end = info;
    m_eRunState = ERunState::Ended;
    // The run's last results without waiting for the timer.
    if (isVisible())
        m_refreshTimer.start(0);
}

void CResultsWindow::ScheduleRefresh()
{
    if (isVisible() && !m_refreshTimer.isActive())
        m_refreshTimer.start(kRefreshMs);
}

void CResultsWindow::Refresh()
{
    m_refreshTimer.stop();
    m_pSummary->setText(Summary());
    if (!m_vecPending.empty()) {
        m_pRequests->Append(m_vecPending);
        m_vecPending.clear();
    }
    ShowRequestCount();
    // The waits first: the time axis reaches the last one's end.
    if (m_bWaitsChanged)
        ShowCheckAlives();
    m_pTimeChart->Show(m_data, ChartLines(), m_nThresholdMs, &m_pRequests->Requests());
    m_pHistogram->Show(m_data, kHistogramBins);
    if (m_statistics.Revision() != m_snapshot.nRevision || m_snapshot.vecUrls.empty() || m_bSnapshotBehind) {
        m_bSnapshotBehind = !m_statistics.Update(m_snapshot, kMaxNewUrlsPerDrawing);
        m_pTable->Show(m_snapshot);
        if (m_bSnapshotBehind && isVisible())
            m_refreshTimer.start(0);
    }
}

void CResultsWindow::SaveFile(const QString& strFilter, const QString& strSuffix,
                              const std::function<bool(QIODevice&)>& write)
{
    const QString strPath = m_prompts.ChooseFile(this, {true, strFilter, strSuffix, QString()});
    if (strPath.isEmpty())
        return;  // cancelled
    Flush();
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit())
        m_prompts.ShowError(
            this, QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(strPath), file.errorString()));
}

void CResultsWindow::SetOnSaveResults(std::function<void()> onSave)
{
    m_onSaveResults = std::move(onSave);
    m_pSaveResults->setVisible(bool(m_onSaveResults));
}

void CResultsWindow::OnSaveChart()
{
    SaveFile(QStringLiteral("PNG images (*.png);;All Files (*.*)"), QStringLiteral("png"),
             [this](QIODevice& file) { return m_pTimeChart->grab().toImage().save(&file, "PNG"); });
}

void CResultsWindow::OnSaveRequests()
{
    SaveFile(QStringLiteral("CSV files (*.csv);;All Files (*.*)"), QStringLiteral("csv"),
             [this](QIODevice& file) { return m_pRequests->WriteCsv(file); });
}

void CResultsWindow::OnSaveTable()
{
    // Every URL in the file, whatever the table has taken so far.
    if (m_bSnapshotBehind) {
        m_statistics.Update(m_snapshot);
        m_bSnapshotBehind = false;
        m_pTable->Show(m_snapshot);
    }
    SaveFile(QStringLiteral("CSV files (*.csv);;All Files (*.*)"), QStringLiteral("csv"),
             [this](QIODevice& file) { return file.write(CResultsTable::Csv(m_snapshot).toUtf8()) >= 0; });
}

void CResultsWindow::KeepChartsReadable()
{
    m_pTimeChart->setMinimumHeight(m_pTimeChart->MinimumReadableHeight());
    m_pHistogram->setMinimumHeight(m_pHistogram->MinimumReadableHeight());
    // The tables: the filter's row and a few rows of the list.
    m_pSplitter->widget(2)->setMinimumHeight(8 * fontMetrics().height() + 40);
}

void CResultsWindow::changeEvent(QEvent* pEvent)
{
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange && m_pSplitter != nullptr)
        KeepChartsReadable();
}

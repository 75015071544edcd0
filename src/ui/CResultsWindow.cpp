#include "CResultsWindow.h"

#include "CAppIcon.h"
#include "CRequestListModel.h"
#include "CResponseTimeChart.h"
#include "CResponseTimeHistogram.h"
#include "CResultsTable.h"
#include "CScreenFit.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

CResultsWindow::CResultsWindow(QWidget* pParent) : QWidget(pParent, Qt::Window)
{
    setObjectName(QStringLiteral("results"));
    setWindowTitle(QStringLiteral("Results - Velkor"));
    setWindowIcon(CAppIcon::Icon());
    m_pListener = new CResultsListener(*this, this);

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
    m_pRequests = new CRequestListModel(this);
    m_pRequestList = new QTableView;
    m_pRequestList->setObjectName(QStringLiteral("requests"));
    m_pRequestList->setModel(m_pRequests);
    m_pRequestList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pRequestList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pRequestList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pRequestList->setWordWrap(false);
    m_pRequestList->setTextElideMode(Qt::ElideMiddle);
    m_pRequestList->verticalHeader()->hide();
    // Rows of one height, columns of set widths: nothing measures each of a
    // long run's rows.
    m_pRequestList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pRequestList->verticalHeader()->setDefaultSectionSize(m_pRequestList->fontMetrics().height() + 6);
    QHeaderView* pColumns = m_pRequestList->horizontalHeader();
    pColumns->setSectionResizeMode(QHeaderView::Interactive);
    for (int nColumn = 0; nColumn < CRequestListModel::kColumns; ++nColumn) {
        // As wide as the caption or the widest value the column shows.
        const QString strWidest = nColumn == CRequestListModel::kOutcome ? QStringLiteral("slow, failed")
                                  : nColumn == CRequestListModel::kStatus ? QStringLiteral("000")
                                                                          : QStringLiteral("0000000");
        if (nColumn != CRequestListModel::kUrl)
            pColumns->resizeSection(nColumn, std::max(pColumns->fontMetrics().horizontalAdvance(
                                                          CRequestListModel::Columns()[nColumn]),
                                                      m_pRequestList->fontMetrics().horizontalAdvance(strWidest)) +
                                                 24);
    }
    pColumns->setSectionResizeMode(CRequestListModel::kUrl, QHeaderView::Stretch);
    connect(m_pRequestList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CResultsWindow::OnRequestPicked);
    m_pFilter = new QComboBox;
    m_pFilter->setObjectName(QStringLiteral("requestFilter"));
    m_pFilter->addItems({QStringLiteral("All requests"), QStringLiteral("Failed only"), QStringLiteral("Slow only")});
    m_pFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pFilter->setMaximumWidth(480);
    connect(m_pFilter, &QComboBox::activated, this, &CResultsWindow::OnFilterChosen);
    m_pRequestCount = new QLabel;
    m_pRequestCount->setObjectName(QStringLiteral("requestCount"));
    auto* pShowLabel = new QLabel(QStringLiteral("&Show:"));
    pShowLabel->setBuddy(m_pFilter);
    auto* pListTop = new QHBoxLayout;
    pListTop->addWidget(pShowLabel);
    pListTop->addWidget(m_pFilter);
    pListTop->addWidget(m_pRequestCount, 1);
    auto* pListPage = new QWidget;
    auto* pListLayout = new QVBoxLayout(pListPage);
    pListLayout->addLayout(pListTop);
    pListLayout->addWidget(m_pRequestList, 1);

    // Under the statistics, a row per CheckAlive line, shown once a run waited.
    m_pCheckAlives = new QTableWidget(0, 7);
    m_pCheckAlives->setObjectName(QStringLiteral("checkAlives"));
    m_pCheckAlives->setHorizontalHeaderLabels({QStringLiteral("CheckAlive"), QStringLiteral("Line"),
                                               QStringLiteral("Waits"), QStringLiteral("Stopped"),
                                               QStringLiteral("Min down (ms)"), QStringLiteral("Median down (ms)"),
                                               QStringLiteral("Max down (ms)")});
    m_pCheckAlives->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pCheckAlives->verticalHeader()->hide();
    m_pCheckAlives->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pCheckAlives->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_pCheckAlives->hide();
    auto* pStatisticsPage = new QWidget;
    auto* pStatisticsLayout = new QVBoxLayout(pStatisticsPage);
    pStatisticsLayout->setContentsMargins(0, 0, 0, 0);
    pStatisticsLayout->addWidget(m_pTable);
    pStatisticsLayout->addWidget(m_pCheckAlives, 1);
    pStatisticsLayout->addStretch();

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
    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pResetZoom);
    pBottom->addStretch(1);
    pBottom->addWidget(pSaveChart);
    pBottom->addWidget(pSaveTable);
    pBottom->addWidget(pSaveRequests);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pSummary);
    pLayout->addWidget(m_pScroll, 1);
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

void CResultsWindow::ShowBeside(QWidget* pMain)
{
    if (isVisible()) {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        return;
    }
    m_pPlacedBeside = pMain;
    Place();
    m_bPlacing = true;
    m_nPlacingChecks = 0;
    show();
    raise();
    activateWindow();
}

void CResultsWindow::Place()
{
    QWidget* pMain = m_pPlacedBeside;
    const QScreen* pScreen = pMain ? pMain->screen() : screen();
    const QRect area = pScreen->availableGeometry();
    // The frame the desktop draws around this window; until it has, the
    // main window's is the best guess.
    winId();
    QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull() && pMain != nullptr) {
        pMain->winId();
        frame = pMain->windowHandle()->frameMargins();
    }
    m_placedFrame = frame;
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect main = pMain ? CScreenFit::FrameOf(*pMain) : QRect(area.topLeft(), QSize(0, 0));
    // The window's least size grows with what the last run put in it.
    QSize client = size().expandedTo(minimumSizeHint());
    if (pMain)
        client.setHeight(std::max(main.height() - frameSize.height(), 600));
    client = client.boundedTo(area.size() - frameSize).expandedTo(minimumSize());
    const QSize outer = client + frameSize;

    QPoint at(main.right() + 1, main.top());
    if (pMain != nullptr && main.width() + outer.width() <= area.width()) {
        // Side by side: to the right of the main window, else to its left,
        // else the main window moves over as far as the pair needs.
        if (at.x() + outer.width() > area.right() + 1) {
            if (main.left() - outer.width() >= area.left()) {
                at.setX(main.left() - outer.width());
            } else {
                // A border's width of slack: a framed window moved on some
                // desktops lands that much to the right.
                const int nMainLeft =
                    area.right() + 1 - outer.width() - main.width() - (pMain->geometry().left() - main.left());
                CScreenFit::MoveFrameTo(*pMain, QPoint(nMainLeft, main.top()));
                at.setX(area.right() + 1 - outer.width());
            }
        }
    } else {
        at.setX(main.left());  // over the main window
    }
    // Placed by its frame's corner (the native window's own: the widget's
    // move() would count a guessed frame on top of the desktop's).
    resize(client);
    winId();
    m_placedAt = CScreenFit::PlaceInside(area, QRect(at, outer));
    windowHandle()->setFramePosition(m_placedAt);
}

void CResultsWindow::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    CheckPlacement();
}

void CResultsWindow::CheckPlacement()
{
    // Placed with a guess at the frame: once the desktop has framed the
    // window, placed again with the frame it has.
    if (!m_bPlacing || !isVisible())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull()) {
        // Not framed yet; a desktop may frame it without moving it.
        if (++m_nPlacingChecks < kMostPlacingChecks)
            QTimer::singleShot(kPlacingCheckMs, this, &CResultsWindow::CheckPlacement);
        return;
    }
    m_bPlacing = false;
    if (frame != m_placedFrame)
        Place();
    // Some desktops put the window itself, not its frame, where its frame
    // was asked to go: the frame then sticks out above. The window itself
    // goes where the frame leaves room for it.
    else if (windowHandle()->framePosition() != m_placedAt)
        windowHandle()->setPosition(m_placedAt + QPoint(frame.left(), frame.top()));
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
    if (m_bPlacing)
        QTimer::singleShot(kPlacingCheckMs, this, &CResultsWindow::CheckPlacement);
}

void CResultsWindow::OnRunStarted(const CRunStartInfo& info)
{
    m_statistics.OnRunStart(info);
    m_verdict.OnRunStart(info);
    m_data.Clear();
    m_urls.clear();
    m_vecPending.clear();
    m_pRequests->Clear();
    while (m_pFilter->count() > 3)
        m_pFilter->removeItem(m_pFilter->count() - 1);
    if (m_pRequests->Filter() == CRequestListModel::EFilter::All)
        m_pFilter->setCurrentIndex(0);
    m_pTimeChart->ResetZoom();
    m_pTimeChart->Highlight(std::nullopt);
    m_vecWaits.clear();
    m_bWaitsChanged = true;
    m_start = info;
    m_end = CRunEndInfo();
    m_eRunState = ERunState::Running;
    m_nThresholdMs = info.nThresholdMs;
    ScheduleRefresh();
}

void CResultsWindow::OnUrlSeen(const QString& strUrl)
{
    m_urls << strUrl;
    m_data.AddUrl();
    m_pRequests->AddUrl(strUrl);
    // The filter's entries name the URLs as the legend does.
    for (int nUrl = 0; nUrl < m_urls.size(); ++nUrl) {
        const QString strEntry = CResponseTimeChart::ShortUrl(m_urls[nUrl], m_urls);
        if (3 + nUrl < m_pFilter->count()) {
            m_pFilter->setItemText(3 + nUrl, strEntry);
        } else {
            m_pFilter->addItem(strEntry);
            m_pFilter->setItemData(3 + nUrl, m_urls[nUrl], Qt::ToolTipRole);
        }
    }
}

void CResultsWindow::OnResults(const std::vector<CResultsListener::SPoint>& points)
{
    CRequestResult result;
    m_vecPending.insert(m_vecPending.end(), points.begin(), points.end());
    for (const CResultsListener::SPoint& point : points) {
        m_data.Add(point);
        result.nIndex = point.nIndex;
        result.nPass = point.nPass;
        result.strUrl = m_urls.value(point.nUrl);
        result.nStatus = point.nStatus;
        result.nTimeMs = point.nTimeMs;
        result.nAtMs = point.nAtMs;
        result.outcome = point.outcome;
        result.bPass = point.bPass;
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

void CResultsWindow::ShowRecord(const CRunRecord::SCopy& run)
{
    // What the listener still holds of an earlier run goes first.
    m_pListener->Drain();
    OnRunStarted(run.start);
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
        point.nStatus = std::int16_t(result.nStatus >= -1 && result.nStatus <= 9999 ? result.nStatus : -1);
        point.outcome = result.outcome;
        point.bPass = result.bPass;
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

void CResultsWindow::ShowCheckAlives()
{
    m_bWaitsChanged = false;
    m_pTimeChart->SetWaits(m_vecWaits);
    const std::vector<CCheckAliveStatistics> lines = CheckAliveStatistics(m_vecWaits);
    m_pCheckAlives->setVisible(!lines.empty());
    m_pCheckAlives->setRowCount(int(lines.size()));
    auto figure = [](std::int64_t nMs) { return nMs < 0 ? QString() : QString::number(nMs); };
    for (int nRow = 0; nRow < int(lines.size()); ++nRow) {
        const CCheckAliveStatistics& line = lines[std::size_t(nRow)];
        const QStringList cells{line.strHost + QLatin1Char(':') + line.strPort, QString::number(line.nLine),
                                QString::number(line.nWaits),  QString::number(line.nStopped),
                                figure(line.nMinMs),           figure(line.nMedianMs),
                                figure(line.nMaxMs)};
        for (int nColumn = 0; nColumn < cells.size(); ++nColumn) {
            auto* pItem = new QTableWidgetItem(cells[nColumn]);
            pItem->setTextAlignment(Qt::AlignVCenter | (nColumn == 0 ? Qt::AlignLeft : Qt::AlignRight));
            m_pCheckAlives->setItem(nRow, nColumn, pItem);
        }
    }
    const int nShown = std::min(int(lines.size()), 4);
    m_pCheckAlives->setFixedHeight(m_pCheckAlives->horizontalHeader()->sizeHint().height() +
                                   nShown * m_pCheckAlives->verticalHeader()->defaultSectionSize() +
                                   2 * m_pCheckAlives->frameWidth() + 2);
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
    m_pTimeChart->Show(m_data, m_urls, m_nThresholdMs, &m_pRequests->Requests());
    m_pHistogram->Show(m_data, kHistogramBins);
    if (m_statistics.Revision() != m_snapshot.nRevision || m_snapshot.vecUrls.empty()) {
        m_snapshot = m_statistics.Snapshot();
        m_pTable->Show(m_snapshot);
    }
}

QString CResultsWindow::Summary() const
{
    if (m_eRunState == ERunState::None)
        return QStringLiteral("No run yet.");
    QStringList parts;
    parts << (m_start.strScript.isEmpty() ? QStringLiteral("Typed script") : m_start.strScript);
    if (m_start.startedAt.isValid())
        parts << QStringLiteral("started %1").arg(m_start.startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    parts << (m_data.Count() == 1 ? QStringLiteral("1 request") : QStringLiteral("%1 requests").arg(m_data.Count()));
    parts << QStringLiteral("threshold %1 ms").arg(m_nThresholdMs);
    // The run limits it was given, when it had any.
    QStringList limits;
    if (!m_start.strMaxDuration.isEmpty())
        limits << m_start.strMaxDuration;
    if (m_start.nMaxPasses > 0)
        limits << (m_start.nMaxPasses == 1 ? QStringLiteral("1 pass") : QStringLiteral("%1 passes").arg(m_start.nMaxPasses));
    if (!limits.isEmpty())
        parts << QStringLiteral("limits: %1").arg(limits.join(QStringLiteral(", ")));
    if (!m_vecWaits.empty())
        parts << (m_vecWaits.size() == 1 ? QStringLiteral("1 CheckAlive wait")
                                         : QStringLiteral("%1 CheckAlive waits").arg(m_vecWaits.size()));
    if (m_eRunState == ERunState::Running) {
        parts << QStringLiteral("running");
    } else {
        if (m_end.nWhileRepeat >= 0)
            parts << QStringLiteral("While repeat %1").arg(m_end.nWhileRepeat);
        parts << (!m_end.bComplete ? QStringLiteral("cut short")
                                   : m_end.bStopped ? QStringLiteral("stopped") : QStringLiteral("ended"));
        // The run's verdict, as velkor-cli and the reports give it.
        const CRunVerdictSummary verdict = m_verdict.Summary();
        parts << (verdict.bPass ? QStringLiteral("verdict: pass")
                                : QStringLiteral("verdict: fail (%1 of %2 requests failed)")
                                      .arg(verdict.nFailed)
                                      .arg(verdict.nRequests));
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}

void CResultsWindow::SaveFile(const QString& strFilter, const QString& strSuffix,
                              const std::function<bool(QIODevice&)>& write)
{
    const QString strPath = m_prompts.ChooseFile(this, {true, strFilter, strSuffix});
    if (strPath.isEmpty())
        return;  // cancelled
    Flush();
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit())
        m_prompts.ShowError(
            this, QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(strPath), file.errorString()));
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

void CResultsWindow::ShowRequestCount()
{
    const auto nAll = qsizetype(m_pRequests->Requests().size());
    const int nShown = m_pRequests->rowCount();
    m_pRequestCount->setText(nShown == nAll ? QStringLiteral("%1 requests").arg(nAll)
                                            : QStringLiteral("%1 of %2 requests").arg(nShown).arg(nAll));
}

void CResultsWindow::OnFilterChosen(int nChoice)
{
    // The picked request stays picked when the filter keeps it.
    const CResultsListener::SPoint* pPicked = m_pRequests->RequestAt(m_pRequestList->currentIndex().row());
    const int nPicked = pPicked ? pPicked->nIndex : -1;
    Flush();
    using EFilter = CRequestListModel::EFilter;
    if (nChoice >= 3)
        m_pRequests->SetFilter(EFilter::Url, nChoice - 3);
    else
        m_pRequests->SetFilter(nChoice == 1 ? EFilter::Failed : nChoice == 2 ? EFilter::Slow : EFilter::All);
    if (m_pFilter->currentIndex() != nChoice)
        m_pFilter->setCurrentIndex(nChoice);
    ShowRequestCount();
    const int nRow = nPicked < 0 ? -1 : m_pRequests->RowOf(nPicked);
    if (nRow >= 0) {
        m_pRequestList->selectRow(nRow);
        m_pRequestList->scrollTo(m_pRequests->index(nRow, 0), QAbstractItemView::PositionAtCenter);
    }
}

void CResultsWindow::OnRequestPicked()
{
    const CResultsListener::SPoint* pPoint = m_pRequests->RequestAt(m_pRequestList->currentIndex().row());
    m_pTimeChart->Highlight(pPoint ? std::optional(*pPoint) : std::nullopt);
}

void CResultsWindow::OnPointClicked(const CResultsListener::SPoint& point)
{
    Flush();
    int nRow = m_pRequests->RowOf(point.nIndex);
    if (nRow < 0) {
        // Hidden by the filter: the list shows all requests again.
        OnFilterChosen(0);
        nRow = m_pRequests->RowOf(point.nIndex);
    }
    if (nRow < 0)
        return;
    if (auto* pTabs = qobject_cast<QTabWidget*>(m_pSplitter->widget(2)))
        pTabs->setCurrentIndex(1);
    m_pRequestList->selectRow(nRow);
    m_pRequestList->scrollTo(m_pRequests->index(nRow, 0), QAbstractItemView::PositionAtCenter);
}

#include "CResultsWindow.h"

#include "CAppIcon.h"
#include "CResponseTimeChart.h"
#include "CResponseTimeHistogram.h"
#include "CResultsTable.h"
#include "CScreenFit.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
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
    auto* pCharts = new QSplitter(Qt::Vertical);
    pCharts->setChildrenCollapsible(false);
    pCharts->addWidget(m_pTimeChart);
    pCharts->addWidget(m_pHistogram);
    pCharts->setSizes({620, 300});

    m_pSummary = new QLabel;
    m_pSummary->setObjectName(QStringLiteral("summary"));
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pSaveChart = new QPushButton(QStringLiteral("Save chart as PNG"));
    pSaveChart->setObjectName(QStringLiteral("saveChart"));
    connect(pSaveChart, &QPushButton::clicked, this, &CResultsWindow::OnSaveChart);
    auto* pSaveTable = new QPushButton(QStringLiteral("Save table as CSV"));
    pSaveTable->setObjectName(QStringLiteral("saveTable"));
    connect(pSaveTable, &QPushButton::clicked, this, &CResultsWindow::OnSaveTable);
    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pSummary, 1);
    pBottom->addWidget(pSaveChart);
    pBottom->addWidget(pSaveTable);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pCharts, 1);
    pLayout->addWidget(m_pTable);
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
    QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
    if (frame.isNull() && pMain != nullptr) {
        const QRect mainFrame = pMain->frameGeometry();
        const QRect mainClient = pMain->geometry();
        frame = QMargins(mainClient.left() - mainFrame.left(), mainClient.top() - mainFrame.top(),
                         mainFrame.right() - mainClient.right(), mainFrame.bottom() - mainClient.bottom());
    }
    m_placedFrame = frame;
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect main = pMain ? pMain->frameGeometry() : QRect(area.topLeft(), QSize(0, 0));
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
                if (QWindow* pMainWindow = pMain->windowHandle())
                    pMainWindow->setFramePosition(QPoint(nMainLeft, main.top()));
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
    windowHandle()->setFramePosition(CScreenFit::PlaceInside(area, QRect(at, outer)));
}

void CResultsWindow::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    // Placed with a guess at the frame: once the desktop has framed the
    // window, placed again with the frame it has.
    if (m_bPlacing && isVisible() && frameGeometry().size() != size()) {
        m_bPlacing = false;
        const QMargins& placed = m_placedFrame;
        if (frameGeometry().size() - size() != QSize(placed.left() + placed.right(), placed.top() + placed.bottom()))
            Place();
    }
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
}

void CResultsWindow::OnRunStarted(const CRunStartInfo& info)
{
    m_statistics.OnRunStart(info);
    m_verdict.OnRunStart(info);
    m_data.Clear();
    m_urls.clear();
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
}

void CResultsWindow::OnResults(const std::vector<CResultsListener::SPoint>& points)
{
    CRequestResult result;
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
    m_pTimeChart->Show(m_data, m_urls, m_nThresholdMs);
    m_pHistogram->Show(m_data.Histogram(kHistogramBins));
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

void CResultsWindow::OnSaveTable()
{
    SaveFile(QStringLiteral("CSV files (*.csv);;All Files (*.*)"), QStringLiteral("csv"),
             [this](QIODevice& file) { return file.write(CResultsTable::Csv(m_snapshot).toUtf8()) >= 0; });
}

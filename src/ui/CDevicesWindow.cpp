#include "CDevicesWindow.h"

#include "CAppIcon.h"
#include "CRampUpBox.h"
#include "CResultsWindow.h"
#include "FleetRecords.h"
#include "WindowKeys.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum EColumn { kName, kState, kRequests, kOk, kSlow, kFailed, kMedian, kP95, kLastStatus, kVerdict, kColumns };

QString Figure(std::int64_t nMs) { return nMs < 0 ? QString() : QString::number(nMs); }

// Requests that brought no response: timeouts, failures, not sent.
std::uint64_t Failed(const CUrlStatistics& total) { return total.nTimeout + total.nFailed + total.nNotSent; }

}  // namespace

void CDeviceTableModel::SetRows(std::vector<SRow> rows)
{
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    m_rows = std::move(rows);
    emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

int CDeviceTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || m_rows.empty() ? 0 : int(m_rows.size()) + 1;
}

int CDeviceTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QStringList CDeviceTableModel::Columns()
{
    return {QStringLiteral("Name"),   QStringLiteral("State"),  QStringLiteral("Requests"),
            QStringLiteral("Ok"),     QStringLiteral("Slow"),   QStringLiteral("Failed"),
            QStringLiteral("Median"), QStringLiteral("P95"),    QStringLiteral("Last status"),
            QStringLiteral("Verdict")};
}

QStringList CDeviceTableModel::Cells(int nRow) const
{
    if (nRow == 0) {
        CUrlStatistics sum;
        int nDone = 0;
        // A device that never ran counts in the verdict, failing it.
        CFleetRunner::SSummary summary;
        for (const SRow& row : m_rows) {
            sum.nCount += row.total.nCount;
            sum.nOk += row.total.nOk;
            sum.nSlow += row.total.nSlow;
            sum.nTimeout += Failed(row.total);
            nDone += row.strState == QLatin1String("done") ? 1 : 0;
            summary.Add(row.eState, row.strVerdict == QLatin1String("pass"));
        }
        return {QStringLiteral("All devices"),
                QStringLiteral("%1 of %2 done").arg(nDone).arg(m_rows.size()),
                QString::number(sum.nCount),
                QString::number(sum.nOk),
                QString::number(sum.nSlow),
                QString::number(sum.nTimeout),
                QString(),
                QString(),
                QString(),
                summary.VerdictText()};
    }
    const SRow& row = m_rows[std::size_t(nRow - 1)];
    const bool bStarted = row.strState != QLatin1String("waiting") && row.strState != QLatin1String("not run");
    auto count = [bStarted](std::uint64_t n) { return bStarted ? QString::number(n) : QString(); };
    return {row.strName,
            row.strState,
            count(row.total.nCount),
            count(row.total.nOk),
            count(row.total.nSlow),
            count(Failed(row.total)),
            Figure(row.total.nMedianMs),
            Figure(row.total.nP95Ms),
            row.nLastStatus < 0 ? QString() : QString::number(row.nLastStatus),
            row.strVerdict};
}

QVariant CDeviceTableModel::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid())
        return {};
    if (nRole == Qt::DisplayRole)
        return Cells(index.row()).value(index.column());
    if (nRole == Qt::TextAlignmentRole)
        return int(Qt::AlignVCenter | (index.column() >= kRequests && index.column() <= kLastStatus
                                           ? Qt::AlignRight
                                           : Qt::AlignLeft));
    if (nRole == Qt::ToolTipRole && index.column() == kVerdict && index.row() > 0) {
        const QString& strDetail = m_rows[std::size_t(index.row() - 1)].strVerdictDetail;
        return strDetail.isEmpty() ? QVariant() : QVariant(strDetail);
    }
    if (nRole == Qt::FontRole && index.row() == 0) {
        QFont font;
        font.setBold(true);
        return font;
    }
    return {};
}

QVariant CDeviceTableModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation == Qt::Horizontal && nRole == Qt::DisplayRole)
        return Columns().value(nSection);
    if (orientation == Qt::Horizontal && nRole == Qt::ToolTipRole && nSection == kFailed)
        return QStringLiteral("Requests without a response: timeouts, failures, not sent");
    if (orientation == Qt::Horizontal && nRole == Qt::ToolTipRole && (nSection == kMedian || nSection == kP95))
        return QStringLiteral("ms, over the responses");
    return {};
}

CDevicesWindow::CDevicesWindow(CFleetRunner::LineSink lineSink, std::function<void()> onEnded,
                               CResultsWindow& results)
    : QWidget(nullptr, Qt::Window),
      m_onEnded(std::move(onEnded)),
      m_results(results),
      m_changes(*this, [this](std::deque<std::size_t>& changes) {
          for (std::size_t nDevice : changes)
              if (nDevice < m_vecDirty.size())
                  m_vecDirty[nDevice] = true;
          m_bDirty = true;
          if (!m_refreshTimer.isActive())
              m_refreshTimer.start(kRefreshMs);
      })
{
    setObjectName(QStringLiteral("devices"));
    setWindowTitle(QStringLiteral("Devices - Velkor"));
    setWindowIcon(CAppIcon::Icon());
    m_pPlacer = new CBesidePlacer(*this);
    m_pRunner = std::make_unique<CFleetRunner>(std::move(lineSink), [this](std::size_t nDevice) {
        m_changes.Post([nDevice](std::deque<std::size_t>& pending) { pending.push_back(nDevice); });
    });

    m_pCaption = new QLabel(QStringLiteral("No device list. Load one with File > Load device list..."));
    m_pCaption->setObjectName(QStringLiteral("devicesCaption"));
    m_pModel = new CDeviceTableModel(this);
    m_pTable = new QTableView;
    m_pTable->setObjectName(QStringLiteral("deviceTable"));
    m_pTable->setModel(m_pModel);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setWordWrap(false);
    m_pTable->verticalHeader()->hide();
    m_pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pTable->verticalHeader()->setDefaultSectionSize(m_pTable->fontMetrics().height() + 6);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    for (int nColumn = 0; nColumn < kColumns; ++nColumn) {
        const QString strWidest = nColumn == kName    ? QStringLiteral("cam-0000-hall")
                                  : nColumn == kState ? QStringLiteral("100 of 100 done")
                                                      : QStringLiteral("000000");
        m_pTable->horizontalHeader()->resizeSection(
            nColumn, std::max(m_pTable->horizontalHeader()->fontMetrics().horizontalAdvance(
                                  CDeviceTableModel::Columns()[nColumn]),
                              m_pTable->fontMetrics().horizontalAdvance(strWidest)) +
                         20);
    }
    // A row chosen shows its results, the results window brought up.
    connect(m_pTable, &QTableView::clicked, this, [this](const QModelIndex& index) { ChooseRow(index.row()); });
    connect(m_pTable, &QTableView::activated, this, [this](const QModelIndex& index) { ChooseRow(index.row()); });
    // Ctrl+R as in the main window.
    auto* pResultsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(pResultsKey, &QShortcut::activated, this, [this] { ShowResults(); });

    // Beside Options > Jobs (how many at once): how the starts are spread.
    m_pRampUp = new CRampUpBox;
    auto* pRampUpLabel = new QLabel(QStringLiteral("&Ramp-up:"));
    pRampUpLabel->setBuddy(m_pRampUp);
    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(pRampUpLabel);
    pBottom->addWidget(m_pRampUp);
    pBottom->addStretch(1);
    pBottom->addWidget(AddCloseKeys(*this));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pCaption);
    pLayout->addWidget(m_pTable, 1);
    pLayout->addLayout(pBottom);
    resize(860, 420);

    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CDevicesWindow::OnPoll);
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CDevicesWindow::Refresh);
}

CDevicesWindow::~CDevicesWindow()
{
    // The workers report to the change queue: they go first.
    m_pRunner.reset();
}

void CDevicesWindow::SetDevices(const std::vector<SDevice>& devices, const QString& strListName)
{
    m_showOpenedRow = nullptr;
    m_devices = devices;
    m_strListName = strListName;
    m_bFleetRan = false;
    m_vecDirty.assign(devices.size(), true);
    m_bDirty = true;
    Refresh();
}

bool CDevicesWindow::StartFleet(const std::vector<SDevice>& devices, const CFleetRunner::SStart& start)
{
    m_showOpenedRow = nullptr;
    m_devices = devices;
    m_vecDirty.assign(devices.size(), true);
    m_bFleetRan = true;
    m_nShownRevision = ~std::uint64_t(0);
    CFleetRunner::SStart spread = start;
    spread.nRampUpMs = m_pRampUp->RampUpMs();
    const bool bStarted = m_pRunner->Start(devices, spread);
    if (bStarted)
        m_pollTimer.start();
    m_bDirty = true;
    Refresh();
    return bStarted;
}

void CDevicesWindow::StopFleet() { m_pRunner->Stop(); }

void CDevicesWindow::AbortFleet()
{
    m_pRunner->Abort();
    if (m_pollTimer.isActive()) {
        m_pollTimer.stop();
        m_onEnded();
    }
}

bool CDevicesWindow::IsFleetActive() const { return m_pollTimer.isActive(); }

void CDevicesWindow::OnPoll()
{
    if (m_pRunner->Poll())
        return;
    m_pollTimer.stop();
    Flush();
    ShowPickedResults(true);
    m_onEnded();
}

void CDevicesWindow::Flush()
{
    m_changes.Drain();
    Refresh();
}

void CDevicesWindow::Refresh()
{
    m_refreshTimer.stop();
    if (!m_bDirty || m_showOpenedRow)
        return;
    m_bDirty = false;
    std::vector<CDeviceTableModel::SRow> rows = m_pModel->Rows();
    rows.resize(m_devices.size());
    const bool bRunner = m_bFleetRan && m_pRunner->Count() == m_devices.size();
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        CDeviceTableModel::SRow& row = rows[i];
        row.strName = m_devices[i].strName;
        if (!bRunner) {
            row = CDeviceTableModel::SRow();
            row.strName = m_devices[i].strName;
            row.strState = CFleetRunner::StateText(CFleetRunner::EState::Waiting);
            continue;
        }
        if (!m_vecDirty[i])
            continue;
        m_vecDirty[i] = false;
        const CFleetRunner::EState eState = m_pRunner->State(i);
        row.eState = eState;
        row.strState = CFleetRunner::StateText(eState);
        row.total = m_pRunner->Total(i);
        row.nLastStatus = m_pRunner->Record(i).LastStatus();
        if (eState == CFleetRunner::EState::Done) {
            const CRunVerdictSummary verdict = m_pRunner->Verdict(i);
            // Why it failed, in the words of velkor-cli's verdict line; the
            // tooltip names the first failing requests too.
            row.strVerdict = verdict.bPass ? QStringLiteral("pass")
                                           : QStringLiteral("fail (%1): %2").arg(verdict.nExitCode).arg(verdict.Headline());
            row.strVerdictDetail = verdict.bPass ? QString() : verdict.Describe();
        } else {
            row.strVerdict = eState == CFleetRunner::EState::ScriptError ? QStringLiteral("script error") : QString();
            row.strVerdictDetail.clear();
        }
    }
    m_pModel->SetRows(std::move(rows));
    m_pCaption->setText(m_devices.empty() ? QStringLiteral("No device list. Load one with File > Load device list...")
                                          : QStringLiteral("Devices: %1 (%2)").arg(m_strListName).arg(m_devices.size()));
    ShowPickedResults(false);
}

void CDevicesWindow::PickRow(int nRow)
{
    if (nRow < 0 || nRow > int(m_pModel->Rows().size()))
        return;
    m_nPicked = nRow;
    m_pTable->selectRow(nRow);
    ShowPickedResults(true);
}

void CDevicesWindow::ShowPickedResults(bool bForce)
{
    if (m_showOpenedRow) {
        if (bForce)
            m_showOpenedRow(m_nPicked);
        return;
    }
    if (!m_bFleetRan || m_pRunner->Count() == 0)
        return;
    // Redrawn when what it shows has grown (the revisions only grow).
    std::uint64_t nRevision = std::uint64_t(m_nPicked);
    if (m_nPicked == 0) {
        for (std::size_t i = 0; i < m_pRunner->Count(); ++i)
            nRevision += m_pRunner->Record(i).Revision() * 4096 + std::uint64_t(m_pRunner->State(i));
    } else {
        nRevision += m_pRunner->Record(std::size_t(m_nPicked - 1)).Revision() * 4096;
    }
    if (!bForce && nRevision == m_nShownRevision)
        return;
    // Each showing goes through every result of the run again: while the
    // fleet runs, only into a shown window, and not too often.
    if (!bForce && !m_results.isVisible())
        return;  // taken when the window is shown
    if (!bForce && m_sinceResults.isValid() && m_sinceResults.elapsed() < kResultsMs && IsFleetActive()) {
        if (!m_refreshTimer.isActive())
            m_refreshTimer.start(kResultsMs);
        m_bDirty = true;
        return;
    }
    m_sinceResults.start();
    m_nShownRevision = nRevision;
    if (m_nPicked == 0) {
        CResultsWindow::SFleet fleet;
        CRunRecord::SCopy all = MergeFleetRecords(*m_pRunner, &fleet.vecDeviceOf);
        all.start.strScript = QStringLiteral("%1 [all devices]")
                                  .arg(all.start.strScript.isEmpty() ? QStringLiteral("Typed script")
                                                                     : all.start.strScript);
        for (const SDevice& device : m_devices)
            fleet.devices << device.strName;
        m_results.ShowRecord(all, fleet);
    } else {
        CRunRecord::SCopy run = m_pRunner->Record(std::size_t(m_nPicked - 1)).Copy();
        run.start.strScript = QStringLiteral("%1 [%2]").arg(
            run.start.strScript.isEmpty() ? QStringLiteral("Typed script") : run.start.strScript,
            m_devices[std::size_t(m_nPicked - 1)].strName);
        m_results.ShowRecord(run);
    }
}

void CDevicesWindow::ShowBeside(QWidget* pMain)
{
    m_pMain = pMain;
    m_pPlacer->ShowBeside(pMain);
}

void CDevicesWindow::ShowResults()
{
    m_results.ShowBeside(m_pMain ? m_pMain.data() : this);
    // A fleet's results are handed to a shown window only.
    ShowPickedResults(true);
}

void CDevicesWindow::ChooseRow(int nRow)
{
    PickRow(nRow);
    if (!m_results.isVisible())
        ShowResults();
    else
        m_results.raise();
}

void CDevicesWindow::showEvent(QShowEvent* pEvent)
{
    QWidget::showEvent(pEvent);
    m_pPlacer->OnShown();
}

void CDevicesWindow::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    m_pPlacer->OnMoved();
}

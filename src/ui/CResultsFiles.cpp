#include "CResultsFiles.h"

#include "CResultsWindow.h"
#include "CUserPrompts.h"
#include "report/CCsvReport.h"
#include "report/CHtmlReport.h"
#include "report/CJsonReport.h"
#include "report/CJUnitReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

namespace {

enum class EFormat { Json, JUnit, Html, Csv, Unknown };

EFormat FormatOf(const QString& strPath)
{
    const QString strSuffix = QFileInfo(strPath).suffix().toLower();
    if (strSuffix == QLatin1String("json"))
        return EFormat::Json;
    if (strSuffix == QLatin1String("xml"))
        return EFormat::JUnit;
    if (strSuffix == QLatin1String("html") || strSuffix == QLatin1String("htm"))
        return EFormat::Html;
    if (strSuffix == QLatin1String("csv"))
        return EFormat::Csv;
    return EFormat::Unknown;
}

bool SaveRun(EFormat format, const QString& strPath, const CRecordedRun& run, QString* pError)
{
    const QString strVersion = QCoreApplication::applicationVersion();
    switch (format) {
    case EFormat::Json:
        return CJsonReport::Save(strPath, run, strVersion, pError);
    case EFormat::JUnit:
        return CJUnitReport::Save(strPath, run, CJUnitReport::ECases::PerLine, pError);
    case EFormat::Html:
        return CHtmlReport::Save(strPath, run, strVersion, pError);
    case EFormat::Csv:
        return CCsvReport::Save(strPath, run, pError);
    case EFormat::Unknown:
        break;
    }
    return false;
}

bool SaveFleet(EFormat format, const QString& strPath, const CRecordedFleet& fleet, QString* pError)
{
    const QString strVersion = QCoreApplication::applicationVersion();
    switch (format) {
    case EFormat::Json:
        return CJsonReport::SaveFleet(strPath, fleet, strVersion, pError);
    case EFormat::JUnit:
        return CJUnitReport::SaveFleet(strPath, fleet, CJUnitReport::ECases::PerLine, pError);
    case EFormat::Html:
        return CHtmlReport::SaveFleet(strPath, fleet, strVersion, pError);
    case EFormat::Csv:
        return CCsvReport::SaveFleet(strPath, fleet, pError);
    case EFormat::Unknown:
        break;
    }
    return false;
}

// A device's row in the Devices window, as a device of a live fleet shows.
CDeviceTableModel::SRow RowOf(const CRecordedDevice& device, const CUrlStatistics& total)
{
    CDeviceTableModel::SRow row;
    row.strName = device.strName;
    switch (device.state) {
    case CRecordedDevice::EState::Ran:
        row.eState = CFleetRunner::EState::Done;
        break;
    case CRecordedDevice::EState::ScriptError:
        row.eState = CFleetRunner::EState::ScriptError;
        break;
    case CRecordedDevice::EState::NotRun:
        row.eState = CFleetRunner::EState::NotRun;
        break;
    }
    row.strState = CFleetRunner::StateText(row.eState);
    row.total = total;
    if (!device.run.vecRequests.empty())
        row.nLastStatus = device.run.vecRequests.back().nStatus;
    if (device.state == CRecordedDevice::EState::Ran)
        row.strVerdict = device.run.verdict.bPass ? QStringLiteral("pass")
                                                  : QStringLiteral("fail (%1)").arg(device.run.nExitCode);
    else if (device.state == CRecordedDevice::EState::ScriptError)
        row.strVerdict = QStringLiteral("script error");
    return row;
}

// A fleet's verdict as its report gives it: the devices' counts summed, the
// verdict and exit code as recorded (a merge of a run cut short has its own).
CRunVerdictSummary FleetVerdict(const CRecordedFleet& fleet)
{
    // The devices' states and verdicts, without their requests.
    CRecordedFleet summed;
    for (const CRecordedDevice& device : fleet.devices) {
        CRecordedDevice& one = summed.devices.emplace_back();
        one.state = device.state;
        one.run.verdict = device.run.verdict;
        one.run.nExitCode = device.run.nExitCode;
    }
    FinishFleet(summed);
    CRunVerdictSummary verdict = summed.verdict;
    verdict.bPass = fleet.verdict.bPass;
    verdict.nExitCode = fleet.nExitCode;
    return verdict;
}

}  // namespace

void CResultsFiles::CRunFiles::OnRunStart(const CRunStartInfo& info)
{
    m_source.store(ESource::Run);
    recorder.OnRunStart(info);
    verdict.OnRunStart(info);
}

void CResultsFiles::CRunFiles::OnRequest(const CRequestResult& result)
{
    recorder.OnRequest(result);
    verdict.OnRequest(result);
}

void CResultsFiles::CRunFiles::OnCheckAlive(const CCheckAliveResult& result)
{
    recorder.OnCheckAlive(result);
    verdict.OnCheckAlive(result);
}

void CResultsFiles::CRunFiles::OnRunEnd(const CRunEndInfo& info)
{
    recorder.OnRunEnd(info);
    verdict.OnRunEnd(info);
}

CResultsFiles::CResultsFiles(QWidget& owner, CResultsWindow& results, CDevicesWindow& devices, CUserPrompts& prompts)
    : QObject(&owner), m_owner(owner), m_results(results), m_devices(devices), m_prompts(prompts)
{
    m_pReader = new CReportToResults(results, this);
}

CResultsFiles::~CResultsFiles() = default;

QString CResultsFiles::FileFilter()
{
    return QStringLiteral("JSON report (*.json);;JUnit XML (*.xml);;HTML report (*.html);;CSV, every request (*.csv)");
}

void CResultsFiles::PrepareFleet(CFleetRunner::SStart& start, const QStringList& columns, std::size_t nDevices)
{
    m_pReader->Cancel();
    m_pOpened.reset();
    m_fleetReports.clear();
    for (std::size_t i = 0; i < nDevices; ++i)
        m_fleetReports.push_back(std::make_unique<CFleetDeviceReports>());
    m_fleetColumns = columns;
    m_strFleetScript = start.strScriptName;
    m_nFleetThresholdMs = start.settings.nThresholdMs;
    // The script as its file holds it: the box's empty line after the last
    // line break is not one of its lines.
    QStringList lines = start.lines;
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    m_fleetShard = ShardOfList(1, 1, int(nDevices), lines, m_listContent);
    start.addListeners = [this](std::size_t nDevice, std::vector<IRunListener*>& listeners) {
        listeners.push_back(&m_fleetReports[nDevice]->recorder);
    };
    m_source.store(ESource::Fleet);
}

bool CResultsFiles::SaveResults(const QString& strPath, QString* pError) const
{
    const EFormat format = FormatOf(strPath);
    if (format == EFormat::Unknown) {
        *pError = QStringLiteral("name it .json, .xml (JUnit), .html or .csv");
        return false;
    }
    switch (m_source.load()) {
    case ESource::None:
        break;
    case ESource::Run: {
        CRecordedRun run = m_runFiles.recorder.Snapshot();
        if (!run.bStarted)
            break;
        run.verdict = m_runFiles.verdict.Summary();
        run.nExitCode = run.verdict.nExitCode;
        return SaveRun(format, strPath, run, pError);
    }
    case ESource::Fleet: {
        // The whole fleet, whichever device the Devices window shows.
        CRecordedFleet fleet = RecordFleet(m_devices.Runner(), m_fleetReports, m_fleetColumns, m_strFleetScript,
                                           m_nFleetThresholdMs, 0, true);
        for (std::size_t i = 0; i < fleet.devices.size(); ++i)
            if (fleet.devices[i].nRow == 0)
                fleet.devices[i].nRow = int(i + 1);
        fleet.nExitCode = fleet.verdict.nExitCode;
        fleet.shard = m_fleetShard;
        return SaveFleet(format, strPath, fleet, pError);
    }
    case ESource::Opened:
        if (!m_pOpened)
            break;
        if (m_pOpened->bSingleRun && m_pOpened->devices.size() == 1)
            return SaveRun(format, strPath, m_pOpened->devices[0].run, pError);
        return SaveFleet(format, strPath, *m_pOpened, pError);
    }
    *pError = QStringLiteral("there are no results yet: run a script or open a report first");
    return false;
}

void CResultsFiles::OnSaveResults()
{
    CUserPrompts::SFileRequest request;
    request.bSave = true;
    request.strFilter = FileFilter();
    request.strDefaultSuffix = QStringLiteral("json");
    const QString strPath = m_prompts.ChooseFileInLastFolder(&m_owner, request);
    if (strPath.isEmpty())
        return;  // cancelled
    QString strError;
    if (!SaveResults(strPath, &strError))
        m_prompts.ShowError(&m_owner,
                            QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(strPath), strError));
}

void CResultsFiles::OnOpenResults()
{
    CUserPrompts::SFileRequest request;
    request.strFilter = QStringLiteral("JSON reports (*.json);;All Files (*.*)");
    request.strDefaultSuffix = QStringLiteral("json");
    const QString strPath = m_prompts.ChooseFileInLastFolder(&m_owner, request);
    if (!strPath.isEmpty())
        OpenResults(strPath);
}

void CResultsFiles::OpenResults(const QString& strPath)
{
    const QString strName = QFileInfo(strPath).fileName();
    m_results.ShowBeside(&m_owner);
    m_pReader->Open(strPath, [this, strName](std::shared_ptr<const CRecordedFleet> pFleet,
                                             const std::vector<CUrlStatistics>& totals, const QString& strProblem) {
        if (!pFleet) {
            m_prompts.ShowError(&m_owner, strProblem);
            return;
        }
        ShowOpened(std::move(pFleet), totals, strName);
    });
}

void CResultsFiles::KeepVerdict(const CRunVerdictSummary& verdict) { m_results.SetRecordedVerdict(verdict); }

void CResultsFiles::ShowOpened(std::shared_ptr<const CRecordedFleet> pFleet, const std::vector<CUrlStatistics>& totals,
                               const QString& strName)
{
    m_pOpened = pFleet;
    m_source.store(ESource::Opened);
    if (pFleet->bSingleRun && pFleet->devices.size() == 1) {
        KeepVerdict(pFleet->devices[0].run.verdict);
        return;
    }
    const CRunVerdictSummary fleetVerdict = FleetVerdict(*pFleet);
    KeepVerdict(fleetVerdict);
    std::vector<CDeviceTableModel::SRow> rows;
    for (std::size_t i = 0; i < pFleet->devices.size(); ++i)
        rows.push_back(RowOf(pFleet->devices[i], i < totals.size() ? totals[i] : CUrlStatistics()));
    const QString strScript = pFleet->strScript.isEmpty() ? QStringLiteral("Typed script") : pFleet->strScript;
    // A row picked there hands that device's run (row 0: the fleet's) to the results window.
    m_devices.ShowOpened(QStringLiteral("Devices: %1 (%2)").arg(strName).arg(pFleet->devices.size()), std::move(rows),
                         [this, pFleet, strScript, strName, fleetVerdict](int nRow) {
                             // Not over a run shown since.
                             if (m_source.load() != ESource::Opened || m_pOpened != pFleet)
                                 return;
                             const int nDevice = nRow - 1;
                             const CRunVerdictSummary verdict =
                                 nDevice < 0 ? fleetVerdict : pFleet->devices[std::size_t(nDevice)].run.verdict;
                             const QString strShown =
                                 nDevice < 0 ? QStringLiteral("%1 [all devices, %2]").arg(strScript, strName)
                                             : QStringLiteral("%1 [%2]").arg(strScript,
                                                                             pFleet->devices[std::size_t(nDevice)].strName);
                             m_pReader->Play(pFleet, nDevice, strShown, [this, verdict] { KeepVerdict(verdict); });
                         });
    m_devices.ShowBeside(&m_owner);
}

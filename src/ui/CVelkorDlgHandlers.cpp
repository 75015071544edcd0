// The main window's command handlers: its buttons, the File menu, and the
// controls that a run switches on and off.
#include "CVelkorDlg.h"

#include "CDevicesWindow.h"
#include "CLogBoxQueue.h"
#include "CResultsFiles.h"
#include "CRunStatusLine.h"
#include "CTlsOptionsMenu.h"
#include "engine/CRunEngine.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "engine/RunControlPolicy.h"

#include <QPlainTextEdit>
#include <QCheckBox>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void CVelkorDlg::OnBnClickedCancel() { close(); }

void CVelkorDlg::OnBnClickedSend()
{
    // Lines of an earlier run that are still on their way go in first, so
    // that emptying the log box for this run leaves none of them behind.
    m_pQueue->Drain();
    if (!m_pEngine->IsRunning())
        m_pEngine->Context().m_strScriptName = m_strCommandFileName;
    CRunSettings settings;
    settings.strId = m_editId->text();
    settings.strPassword = m_editPassword->text();
    settings.nThresholdMs = CRunSettings::ThresholdFromBox(m_editResponseLimit->text());
    settings.tls = m_pTlsMenu->Options();
    m_pTlsMenu->RunLimits().Apply(settings);
    if (!m_deviceList.devices.empty()) {
        SendToDevices(settings);
        return;
    }
    // The status line counts from nothing before the worker reports.
    const bool bWasRunning = IsRunning();
    if (!bWasRunning) {
        m_pStatusLine->RunStarted();
        m_pFiles->CancelOpening();
    }
    const CRunEngine::ESendResult eResult = m_pEngine->OnBnClickedSend(settings);
    if (!bWasRunning && eResult != CRunEngine::ESendResult::Started)
        m_pStatusLine->RunEnded();
    if (eResult == CRunEngine::ESendResult::NeedLogFolder)
        m_prompts.ShowError(this, QStringLiteral("Please set a path to save a log."));
}

void CVelkorDlg::SendToDevices(const CRunSettings& settings)
{
    if (IsRunning())
        return;
    if (m_pLog->IsAutoSave() && m_pLog->LogFolder().isEmpty()) {
        m_prompts.ShowError(this, QStringLiteral("Please set a path to save a log."));
        return;
    }
    if (m_pLog->IsAutoSave()) {
        // Each device saves into a file named after it: two names that read
        // alike in a file name would share one.
        QHash<QString, QString> fileParts;
        for (const SDevice& device : m_deviceList.devices) {
            const QString strPart = DeviceFileNamePart(device.strName);
            if (fileParts.contains(strPart)) {
                m_prompts.ShowError(this, QStringLiteral("The devices '%1' and '%2' would share the log file name "
                                                         "part %3; rename one of them in the device list.")
                                              .arg(fileParts.value(strPart), device.strName, strPart));
                return;
            }
            fileParts.insert(strPart, device.strName);
        }
    }
    // The controls as during one run, until the last device has ended.
    for (ERunControl eControl : {ERunControl::ClearCommand, ERunControl::ClearLog, ERunControl::AutoSave,
                                 ERunControl::Threshold, ERunControl::SetPath, ERunControl::CommandBox,
                                 ERunControl::Send})
        m_pQueue->EnableControl(eControl, false);
    m_pBoxLog->SetWindowText(QString());
    m_pQueue->EnableControl(ERunControl::Stop, true);
    CFleetRunner::SStart start;
    start.lines = CCommandFile::SplitLines(CCommandFile::CollectLines(*m_pBoxCommand, false));
    start.strScriptName = m_strCommandFileName;
    start.settings = settings;
    start.nJobs = m_pTlsMenu->Jobs();
    start.bAutoSave = m_pLog->IsAutoSave();
    start.strLogFolder = m_pLog->LogFolder();
    m_pFiles->PrepareFleet(start, m_deviceList.columns, m_deviceList.devices.size());
    // The status line counts every device too, beside the reports' recorders.
    start.addListeners = [addReports = std::move(start.addListeners), pCounter = &m_pStatusLine->Counter()](
                             std::size_t nDevice, std::vector<IRunListener*>& listeners) {
        if (addReports)
            addReports(nDevice, listeners);
        listeners.push_back(pCounter);
    };
    // Ends with the controls' restore, started or not.
    m_pStatusLine->RunStarted();
    const bool bStarted = m_pDevices->StartFleet(m_deviceList.devices, start);
    // The fleet's results, until a device is picked in the Devices window.
    m_pDevices->PickRow(0);
    if (!bStarted) {
        m_pQueue->Drain();
        RestoreControlsAfterRun(*m_pQueue, *m_pLog);
    }
}

bool CVelkorDlg::IsRunning() const { return m_pEngine->IsRunning() || m_pDevices->IsFleetActive(); }

void CVelkorDlg::OnBnClickedStop()
{
    if (IsRunning())
        m_pStatusLine->StopRequested();
    if (m_pDevices->IsFleetActive())
        m_pDevices->StopFleet();
    else
        m_pEngine->OnBnClickedStop();
}

void CVelkorDlg::OnLoadDeviceList()
{
    CUserPrompts::SFileRequest request;
    request.strFilter = QStringLiteral("Device lists (*.csv);;All Files (*.*)");
    request.strDefaultSuffix = QStringLiteral("csv");
    const QString strPath = m_prompts.ChooseFileInLastFolder(this, request);
    if (!strPath.isEmpty())
        LoadDeviceList(strPath);
}

bool CVelkorDlg::LoadDeviceList(const QString& path)
{
    if (IsRunning())
        return false;
    SDeviceList list;
    QString strProblem;
    QByteArray content;
    if (!ReadDeviceList(path, &list, &strProblem, &content)) {
        m_prompts.ShowError(this, strProblem);
        return false;
    }
    m_deviceList = std::move(list);
    m_pFiles->SetDeviceListContent(content);
    m_strDeviceListName = QFileInfo(path).fileName();
    ShowDeviceList();
    NoteRecentFile(path);
    return true;
}

void CVelkorDlg::OnClearDeviceList()
{
    if (IsRunning())
        return;
    m_deviceList = SDeviceList();
    m_strDeviceListName.clear();
    ShowDeviceList();
}

void CVelkorDlg::ShowDeviceList()
{
    m_pDevices->SetDevices(m_deviceList.devices, m_strDeviceListName);
    UpdateTitle();
}

void CVelkorDlg::SetTitleFile(const QString& strPath)
{
    m_strTitleFile = strPath.isEmpty() ? QString() : QFileInfo(strPath).fileName();
    m_bCommandChanged = false;
    UpdateTitle();
}

void CVelkorDlg::UpdateTitle()
{
    QString strTitle = QStringLiteral("Velkor");
    if (!m_strTitleFile.isEmpty())
        strTitle += QStringLiteral(" - ") + m_strTitleFile + (m_bCommandChanged ? QStringLiteral("*") : QString());
    if (!m_deviceList.devices.empty())
        strTitle += QStringLiteral(" - Devices: %1 (%2)").arg(m_strDeviceListName).arg(m_deviceList.devices.size());
    setWindowTitle(strTitle);
}

void CVelkorDlg::OnBnClickedClearLog()
{
    m_pQueue->Drain();
    m_pBoxLog->SetWindowText(QString());
}

void CVelkorDlg::OnBnClickedClearCommand()
{
    m_pBoxCommand->SetWindowText(QString());
    m_strCommandFileName.clear();
    SetTitleFile(QString());
}

void CVelkorDlg::OnBnClickedClickEnable()
{
    m_radioClickEnable->setChecked(true);
    m_radioClickDisable->setChecked(false);
    m_pBoxLog->EnableWindow(true);
}

void CVelkorDlg::OnBnClickedClickDisable()
{
    m_radioClickEnable->setChecked(false);
    m_radioClickDisable->setChecked(true);
    m_pBoxLog->EnableWindow(false);
}

void CVelkorDlg::OnBnClickedAutoSave()
{
    const bool bAutoSave = m_chkAutoSave->isChecked();
    m_pLog->SetAutoSave(bAutoSave);
    m_btnSetPath->setEnabled(bAutoSave);
    if (!bAutoSave) {
        m_pLog->SetLogFileName(QString());
        m_pLog->SetLogFolder(QString());
    }
    m_editLogPath->setText(m_pLog->LogFolder());
}

void CVelkorDlg::OnBnClickedSetPath()
{
    const QString strFolder =
        m_prompts.ChooseFolder(this, QStringLiteral("Select a folder to save a log"), m_pLog->LogFolder());
    if (strFolder.isEmpty())
        return;  // cancelled: the folder stays
    m_pLog->SetLogFolder(strFolder);
    m_editLogPath->setText(strFolder);
}

namespace {

const QString kCommandFilter = QStringLiteral("command files (*.cmf);;All Files (*.*)");
const QString kLogFilter = QStringLiteral("text files (*.txt);;All Files (*.*)");

}  // namespace

void CVelkorDlg::OnSaveCommand()
{
    const QString strPath = m_prompts.ChooseFileInLastFolder(this, {true, kCommandFilter, QStringLiteral("cmf"), QString()});
    QString strError;
    if (strPath.isEmpty())
        return;
    if (!CCommandFile::SaveLines(strPath, *m_pBoxCommand, false, strError)) {
        m_prompts.ShowError(this, strError);
    } else {
        SetTitleFile(strPath);
        NoteRecentFile(strPath);
    }
}

void CVelkorDlg::OnLoadCommand()
{
    const QString strPath = m_prompts.ChooseFileInLastFolder(this, {false, kCommandFilter, QStringLiteral("cmf"), QString()});
    if (!strPath.isEmpty())
        LoadCommandFile(strPath);
}

bool CVelkorDlg::LoadCommandFile(const QString& path)
{
    QStringList lines;
    QString strError;
    if (!CCommandFile::ReadLines(path, lines, strError)) {
        m_prompts.ShowError(this, strError);
        return false;
    }
    CCommandFile::InsertLines(*m_pBoxCommand, lines);
    m_strCommandFileName = QFileInfo(path).fileName();
    SetTitleFile(path);
    NoteRecentFile(path);
    return true;
}

void CVelkorDlg::OnSaveLog()
{
    const QString strPath = m_prompts.ChooseFileInLastFolder(this, {true, kLogFilter, QStringLiteral("txt"), QString()});
    if (strPath.isEmpty())
        return;
    // The log as it stands, with the lines a worker has handed over.
    FlushPendingLog();
    QString strError;
    if (!CCommandFile::SaveLines(strPath, *m_pBoxLog, true, strError))
        m_prompts.ShowError(this, strError);
}

void CVelkorDlg::ApplyRunControl(int nControl, bool bEnable)
{
    // "Send" comes back when the run, or the fleet's last device, has ended.
    if (ERunControl(nControl) == ERunControl::Send && bEnable && m_pStatusLine != nullptr)
        m_pStatusLine->RunEnded();
    QWidget* pControl = nullptr;
    switch (ERunControl(nControl)) {
    case ERunControl::Send: pControl = m_btnSend; break;
    case ERunControl::Stop: pControl = m_btnStop; break;
    case ERunControl::CommandBox: pControl = m_editCommand; break;
    case ERunControl::ClearCommand: pControl = m_btnClearCommand; break;
    case ERunControl::ClearLog: pControl = m_btnClearLog; break;
    case ERunControl::AutoSave: pControl = m_chkAutoSave; break;
    case ERunControl::Threshold: pControl = m_editResponseLimit; break;
    case ERunControl::SetPath: pControl = m_btnSetPath; break;
    }
    // A focused control that is disabled would hand the focus on to the next
    // one in the chain, the password box with its text selected: the next
    // key typed would replace the password. The focus is parked instead, and
    // taken up by "Stop" once it can stop the run, by "Send" once the run ended.
    if (!bEnable && focusWidget() == pControl)
        pControl->clearFocus();
    if (ERunControl(nControl) == ERunControl::CommandBox)
        m_pBoxCommand->EnableWindow(bEnable);
    else
        pControl->setEnabled(bEnable);
    const bool bButton = pControl == m_btnSend || pControl == m_btnStop;
    if (bEnable && bButton && focusWidget() == nullptr)
        pControl->setFocus(Qt::OtherFocusReason);
}

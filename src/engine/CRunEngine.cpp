#include "CRunEngine.h"

#include "CExecutionLoop.h"
#include "RunControlPolicy.h"
#include "http/CHTTPLayer.h"
#include "log/CLogWriter.h"
#include "platform/IRunControls.h"
#include "platform/ITextBox.h"
#include "platform/TextConv.h"
#include "script/ParseScript.h"

#include <QDateTime>

#include <algorithm>

CRunEngine::CRunEngine(ITextBox& editCommand, ITextBox& editLog, CLogWriter& log, IRunControls& controls)
    : m_editCommand(editCommand), m_editLog(editLog), m_context(log, controls)
{
}

CRunEngine::~CRunEngine() { OnClose(); }

CRunEngine::ESendResult CRunEngine::OnBnClickedSend(const CRunSettings& settings)
{
    if (IsRunning())
        return ESendResult::AlreadyRunning;
    JoinFinishedWorker();

    m_context.m_settings = settings;
    // Credentials within Latin-1 go byte for byte; any character above U+00FF
    // makes both go as UTF-8 rather than be cut there.
    m_context.m_bCredentialsUtf8 = NeedsUtf8(settings.strId) || NeedsUtf8(settings.strPassword);
    m_context.m_szId = CredentialBytes(settings.strId, kCredentialBytes, m_context.m_bCredentialsUtf8);
    m_context.m_szPassword = CredentialBytes(settings.strPassword, kCredentialBytes, m_context.m_bCredentialsUtf8);
    m_context.m_nResponseLimitMs = settings.nThresholdMs;
    m_context.m_tlsOptions = settings.tls;

    if (m_editCommand.GetTextLength() == 0)
        return ESendResult::NothingToRun;

    CLogWriter& log = m_context.m_log;
    if (log.IsAutoSave()) {
        if (log.LogFolder().isEmpty())
            return ESendResult::NeedLogFolder;
        log.SetLogFileName(CLogWriter::MakeLogFileName(QDateTime::currentDateTime()));
    }

    IRunControls& controls = m_context.m_controls;
    controls.EnableControl(ERunControl::ClearCommand, false);
    controls.EnableControl(ERunControl::ClearLog, false);
    controls.EnableControl(ERunControl::AutoSave, false);
    controls.EnableControl(ERunControl::Threshold, false);
    controls.EnableControl(ERunControl::SetPath, false);
    m_editLog.SetWindowText(QString());
    controls.EnableControl(ERunControl::CommandBox, false);
    controls.EnableControl(ERunControl::Send, false);

    // A stop request left over from an earlier run must not end this one.
    m_context.m_hStopEvent.Reset();
    m_context.m_hAbortEvent.Reset();
    m_context.m_cancel.Lower();
    m_context.m_nRequestsSent = 0;
    m_context.m_nRequestsFailed = 0;

    SParsedScript parsed = ParseScript(m_editCommand);
    parsed.WriteLog(log);
    m_context.m_script = std::move(parsed.script);
    // Strict: a syntax error that the parse only logs fails the script too.
    if (!parsed.Passes(settings.bStrict)) {
        // The run ends here, so the controls "Send" disabled come back too.
        EndRun();
        return ESendResult::ParseFailed;
    }

    // A While block and a CheckAlive wait can be ended with "Stop".
    const auto& commands = m_context.m_script.m_vecCommands;
    if (std::any_of(commands.begin(), commands.end(), [](const CCommandItem& item) {
            return item.m_bWhile != 0 || item.m_checkAlive.m_bCheckAlive != 0;
        }))
        controls.EnableControl(ERunControl::Stop, true);

    {
        std::lock_guard lock(m_runMutex);
        m_bWorkerActive = true;
    }
    if (m_pScheduler)
        m_workerFiber = m_pScheduler->Spawn([this] { RunThreadProc(); });
    else
        m_hWorkerThread = std::thread([this] { RunThreadProc(); });
    return ESendResult::Started;
}

void CRunEngine::RunThreadProc()
{
    CCancelSignal::WatchOnThisThread(&m_context.m_cancel);
    CExecutionLoop loop(m_context);
    if (loop.ConnectServers() != 0)
        loop.RunCommands();
    else
        loop.ReportEmptyRun();
    // However the run ended, its controls come back here.
    EndRun();
    {
        std::lock_guard lock(m_runMutex);
        m_bWorkerActive = false;
    }
    m_runEnded.notify_all();
}

void CRunEngine::ResetRun()
{
    CScript& script = m_context.m_script;
    for (auto& server : script.m_vecServers) {
        if (server->m_pHttp != nullptr) {
            server->m_pHttp->Close();
            delete server->m_pHttp;
            server->m_pHttp = nullptr;
        }
    }
    script.m_vecServers.clear();
    script.m_vecCommands.clear();
    script.m_nWhileRepeatCount = -1;
}

void CRunEngine::EndRun()
{
    ResetRun();
    RestoreControlsAfterRun(m_context.m_controls, m_context.m_log);
}

void CRunEngine::OnBnClickedStop() { m_context.m_hStopEvent.Set(); }

void CRunEngine::OnClose()
{
    if (m_hWorkerThread.joinable()) {
        AbortRun();
        m_hWorkerThread.join();
    }
    if (m_workerFiber.Joinable()) {
        AbortRun();
        m_workerFiber.Join();
    }
    ResetRun();
}

void CRunEngine::AbortRun()
{
    m_context.m_hAbortEvent.Set();
    m_context.m_cancel.Raise();
}

bool CRunEngine::IsRunning() const
{
    std::lock_guard lock(m_runMutex);
    return m_bWorkerActive;
}

bool CRunEngine::WaitForRunEnd(int nTimeoutMs)
{
    std::unique_lock lock(m_runMutex);
    return m_runEnded.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [this] { return !m_bWorkerActive; });
}

void CRunEngine::JoinFinishedWorker()
{
    if (m_hWorkerThread.joinable())
        m_hWorkerThread.join();
    m_workerFiber.Join();
}

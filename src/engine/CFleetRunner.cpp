#include "CFleetRunner.h"

#include "CRunEngine.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CFiberScheduler.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "platform/MonotonicClock.h"
#include "script/Placeholders.h"

#include <QDir>

void CRunRecord::OnRunStart(const CRunStartInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_run = SCopy();
    m_run.start = info;
    m_nRevision.fetch_add(1, std::memory_order_release);
}

void CRunRecord::OnRequest(const CRequestResult& result)
{
    std::lock_guard lock(m_mutex);
    m_run.requests.push_back(result);
    m_nRevision.fetch_add(1, std::memory_order_release);
}

void CRunRecord::OnCheckAlive(const CCheckAliveResult& result)
{
    std::lock_guard lock(m_mutex);
    m_run.waits.push_back(result);
    m_nRevision.fetch_add(1, std::memory_order_release);
}

void CRunRecord::OnRunEnd(const CRunEndInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_run.end = info;
    m_nRevision.fetch_add(1, std::memory_order_release);
}

CRunRecord::SCopy CRunRecord::Copy() const
{
    std::lock_guard lock(m_mutex);
    return m_run;
}

int CRunRecord::LastStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_run.requests.empty() ? -1 : m_run.requests.back().nStatus;
}

namespace {

// Tells the owner that a device's figures changed; goes last among the
// device's listeners, so the figures are in when it is told.
class CChangeNotifier : public IRunListener {
public:
    CChangeNotifier(std::function<void()> notify, std::function<void()> ended)
        : m_notify(std::move(notify)), m_ended(std::move(ended))
    {
    }
    void OnRunStart(const CRunStartInfo&) override { m_notify(); }
    void OnRequest(const CRequestResult&) override { m_notify(); }
    void OnCheckAlive(const CCheckAliveResult&) override { m_notify(); }
    void OnRunEnd(const CRunEndInfo&) override
    {
        m_notify();
        m_ended();
    }

private:
    std::function<void()> m_notify;
    std::function<void()> m_ended;
};

}  // namespace

struct CFleetRunner::SDeviceRun {
    explicit SDeviceRun(SDevice row) : device(std::move(row)), log(editLog) {}

    SDevice device;
    CMemoryTextBox editCommand;
    CMemoryTextBox editLog;
    CLogWriter log;
    CRunControlStates controls;
    CRunVerdict verdict;
    CRunStatistics statistics;
    CRunRecord record;
    std::unique_ptr<CChangeNotifier> notifier;
    std::unique_ptr<CRunEngine> engine;  // while it runs
    std::atomic<EState> state{EState::Waiting};
    // Its run told its end and is not yet taken in.
    std::atomic<bool> bEndTold{false};
    QDateTime startedAt;
};

CFleetRunner::CFleetRunner(LineSink lineSink, ChangeSink changeSink)
    : m_lineSink(std::move(lineSink)), m_changeSink(std::move(changeSink))
{
}

CFleetRunner::~CFleetRunner() { Abort(); }

bool CFleetRunner::Start(const std::vector<SDevice>& devices, const SStart& start)
{
    Abort();
    std::lock_guard lock(m_mutex);
    m_devices.clear();
    m_start = start;
    m_nNext = 0;
    m_nRunning = 0;
    m_nEndsTold.store(0);
    m_nStartedMs = MonotonicMs();
    m_bStopping = false;
    bool bScriptError = false;
    for (const SDevice& row : devices) {
        auto pRun = std::make_unique<SDeviceRun>(row);
        SDeviceRun& run = *pRun;
        const std::size_t nDevice = m_devices.size();
        const QString strPrefix = QStringLiteral("[%1] ").arg(row.strName);
        run.log.SetLineSink([this, strPrefix](const QString& strLine) { m_lineSink(strPrefix + strLine); });
        if (start.bAutoSave) {
            run.log.SetAutoSave(true);
            run.log.SetLogFolder(QDir(start.strLogFolder).absolutePath());
            run.log.SetLogFileSuffix(QLatin1Char('_') + DeviceFileNamePart(row.strName));
        }
        run.notifier = std::make_unique<CChangeNotifier>([this, nDevice] { m_changeSink(nDevice); },
                                                         [this, &run] {
                                                             run.bEndTold.store(true);
                                                             m_nEndsTold.fetch_add(1);
                                                         });
        // The row's values win over the run's.
        ScriptVariables variables = start.variables;
        variables.insert(row.variables);
        QStringList lines = start.lines;
        if (!SubstituteScriptLogged(lines, variables, run.log)) {
            run.state = EState::ScriptError;
            bScriptError = true;
        }
        CCommandFile::InsertLines(run.editCommand, lines);
        m_devices.push_back(std::move(pRun));
    }
    if (bScriptError) {
        for (auto& pRun : m_devices)
            if (pRun->state == EState::Waiting)
                pRun->state = EState::NotRun;
        for (std::size_t i = 0; i < m_devices.size(); ++i)
            m_changeSink(i);
        m_nNext = m_devices.size();
        return false;
    }
    // Many devices stamp their log lines at once. Without TZ the C library
    // takes the zone's name afresh for every local time, dropping and copying
    // it each time (while another worker may read it); naming the system's
    // zone file keeps it once (the same zone), before any worker starts.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    StartWaiting();
    return true;
}

void CFleetRunner::StartWaiting()
{
    const std::size_t nJobs =
        std::size_t(m_start.nJobs > 0 ? std::min(m_start.nJobs, kMaxJobs) : kMaxJobs);
    while (!m_bStopping && m_nNext < m_devices.size() && m_nRunning < nJobs) {
        if (m_start.nRampUpMs > 0 && m_devices.size() > 1) {
            // Not yet this device's turn: a later Poll() starts it.
            const std::int64_t nDueMs = m_start.nRampUpMs * std::int64_t(m_nNext) / std::int64_t(m_devices.size() - 1);
            if (MonotonicMs() - m_nStartedMs < nDueMs)
                break;
        }
        const std::size_t nDevice = m_nNext++;
        SDeviceRun& run = *m_devices[nDevice];
        run.engine = std::make_unique<CRunEngine>(run.editCommand, run.editLog, run.log, run.controls);
        if (!m_pScheduler && qEnvironmentVariableIntValue("VELKOR_FLEET_THREADS") != 1)
            m_pScheduler = std::make_unique<CFiberScheduler>();
        run.engine->SetFiberScheduler(m_pScheduler.get());
        CRunContext& context = run.engine->Context();
        context.m_strScriptName = m_start.strScriptName;
        context.m_listeners = {&run.verdict, &run.statistics, &run.record};
        if (m_start.addListeners)
            m_start.addListeners(nDevice, context.m_listeners);
        context.m_listeners.push_back(run.notifier.get());
        CRunSettings settings = m_start.settings;
        if (run.device.id)
            settings.strId = *run.device.id;
        if (run.device.password)
            settings.strPassword = *run.device.password;
        run.startedAt = QDateTime::currentDateTime();
        run.state = EState::Running;
        if (run.engine->OnBnClickedSend(settings) == CRunEngine::ESendResult::Started) {
            ++m_nRunning;
        } else {
            // The parser's lines say why.
            run.engine.reset();
            run.state = EState::ScriptError;
        }
        m_changeSink(nDevice);
    }
    if (m_bStopping) {
        for (std::size_t i = m_nNext; i < m_devices.size(); ++i) {
            m_devices[i]->state = EState::NotRun;
            m_changeSink(i);
        }
        m_nNext = m_devices.size();
    }
}

void CFleetRunner::TakeInEnded(bool bEveryDevice)
{
    // A walk over a large fleet costs as much as the rest of a poll: it is
    // made when a run told its end (until every such device is taken in)
    // and, in case one ended without telling, every kWalkEveryMs.
    const std::int64_t nNowMs = MonotonicMs();
    if (!bEveryDevice && m_nEndsTold.load() == 0 && nNowMs - m_nLastWalkMs < kWalkEveryMs)
        return;
    m_nLastWalkMs = nNowMs;
    for (std::size_t i = 0; i < m_devices.size() && m_nRunning > 0; ++i) {
        SDeviceRun& run = *m_devices[i];
        // IsRunning, not WaitForRunEnd(0): a wait of no time still goes to
        // the kernel and back, a thousand times a poll in a large fleet.
        if (run.engine == nullptr || run.engine->IsRunning())
            continue;
        run.engine->OnClose();
        run.engine.reset();
        --m_nRunning;
        if (run.bEndTold.exchange(false))
            m_nEndsTold.fetch_sub(1);
        run.state = EState::Done;
        m_changeSink(i);
        m_nDone.fetch_add(1);
    }
}

bool CFleetRunner::Poll()
{
    {
        std::lock_guard lock(m_mutex);
        TakeInEnded();
        StartWaiting();
    }
    return IsActive();
}

void CFleetRunner::Stop()
{
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    for (auto& pRun : m_devices)
        if (pRun->engine != nullptr)
            pRun->engine->OnBnClickedStop();
}

bool CFleetRunner::StopUnlessWaiting()
{
    {
        std::lock_guard lock(m_mutex);
        for (auto& pRun : m_devices)
            if (pRun->engine != nullptr && pRun->engine->Context().m_hStopEvent.IsSet())
                return false;
    }
    Stop();
    return true;
}

void CFleetRunner::AbortRunning()
{
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    for (auto& pRun : m_devices)
        if (pRun->engine != nullptr)
            pRun->engine->AbortRun();
}

void CFleetRunner::Abort()
{
    AbortRunning();
    std::lock_guard lock(m_mutex);
    TakeInEnded(true);
    StartWaiting();
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        SDeviceRun& run = *m_devices[i];
        if (run.engine == nullptr)
            continue;
        run.engine->OnClose();
        run.engine.reset();
        run.state = EState::Done;
        m_changeSink(i);
        m_nDone.fetch_add(1);
    }
    m_nRunning = 0;
    m_nEndsTold.store(0);
}

bool CFleetRunner::IsActive() const
{
    std::lock_guard lock(m_mutex);
    return m_nRunning > 0 || (!m_bStopping && m_nNext < m_devices.size());
}

const SDevice& CFleetRunner::Device(std::size_t nDevice) const { return m_devices[nDevice]->device; }

const QString& CFleetRunner::Name(std::size_t nDevice) const { return m_devices[nDevice]->device.strName; }

CFleetRunner::EState CFleetRunner::State(std::size_t nDevice) const { return m_devices[nDevice]->state; }

CUrlStatistics CFleetRunner::Total(std::size_t nDevice) const { return m_devices[nDevice]->statistics.Total(); }

CRunStatisticsSnapshot CFleetRunner::Statistics(std::size_t nDevice) const
{
    return m_devices[nDevice]->statistics.Snapshot();
}

CRunVerdictSummary CFleetRunner::Verdict(std::size_t nDevice) const { return m_devices[nDevice]->verdict.Summary(); }

const CRunRecord& CFleetRunner::Record(std::size_t nDevice) const { return m_devices[nDevice]->record; }

QDateTime CFleetRunner::StartedAt(std::size_t nDevice) const { return m_devices[nDevice]->startedAt; }

CFleetRunner::SSummary CFleetRunner::Summary() const
{
    SSummary summary;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const EState eState = State(i);
        summary.Add(eState, eState == EState::Done && Verdict(i).bPass);
    }
    return summary;
}

void CFleetRunner::SSummary::Add(EState eState, bool bPassed)
{
    ++nDevices;
    switch (eState) {
    case EState::Waiting: ++nWaiting; break;
    case EState::Running: ++nRunning; break;
    case EState::Done: ++(bPassed ? nPassed : nFailed); break;
    case EState::ScriptError: ++nScriptError; break;
    case EState::NotRun: ++nNotRun; break;
    }
}

QString CFleetRunner::SSummary::VerdictText() const
{
    if (Settled() == 0)
        return QString();
    QString strText = QStringLiteral("%1 of %2 pass").arg(nPassed).arg(Settled());
    if (nScriptError > 0)
        strText += QStringLiteral(", %1 script error").arg(nScriptError);
    if (nNotRun > 0)
        strText += QStringLiteral(", %1 not run").arg(nNotRun);
    return IsOver() && !Passed() ? QStringLiteral("fail: ") + strText : strText;
}

QString CFleetRunner::StateText(EState eState)
{
    switch (eState) {
    case EState::Waiting: return QStringLiteral("waiting");
    case EState::Running: return QStringLiteral("running");
    case EState::Done: return QStringLiteral("done");
    case EState::ScriptError: return QStringLiteral("script error");
    case EState::NotRun: return QStringLiteral("not run");
    }
    return QString();
}

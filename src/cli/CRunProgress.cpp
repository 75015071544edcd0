#include "CRunProgress.h"

#include "platform/MonotonicClock.h"

void CRunProgress::OnRunStart(const CRunStartInfo& /*info*/)
{
    std::lock_guard lock(m_mutex);
    if (m_bFleet) {
        if (m_counts.nStartMs < 0)
            m_counts.nStartMs = MonotonicMs();
        return;
    }
    m_counts = CCounts();
    m_counts.nStartMs = MonotonicMs();
}

void CRunProgress::OnRequest(const CRequestResult& result)
{
    std::lock_guard lock(m_mutex);
    ++m_counts.nRequests;
    switch (result.outcome) {
    case ERequestOutcome::Ok:
        ++m_counts.nOk;
        break;
    case ERequestOutcome::Slow:
        ++m_counts.nSlow;
        break;
    case ERequestOutcome::Timeout:
        ++m_counts.nTimeout;
        break;
    case ERequestOutcome::Failed:
        ++m_counts.nFailed;
        break;
    case ERequestOutcome::NotSent:
        ++m_counts.nNotSent;
        break;
    }
    m_counts.nPass = result.nPass;
    if (result.outcome != ERequestOutcome::NotSent)
        m_counts.nLastMs = result.nTimeMs;
}

void CRunProgress::OnCheckAlive(const CCheckAliveResult& /*result*/)
{
    std::lock_guard lock(m_mutex);
    ++m_counts.nWaits;
}

CRunProgress::CCounts CRunProgress::Counts() const
{
    std::lock_guard lock(m_mutex);
    return m_counts;
}

namespace {

std::int64_t ElapsedMs(std::int64_t nStartMs) { return nStartMs < 0 ? 0 : MonotonicMs() - nStartMs; }

// "0:12:05"
QString Elapsed(std::int64_t nElapsedMs)
{
    const std::int64_t nSeconds = nElapsedMs / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(nSeconds / 3600)
        .arg(nSeconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString CRunProgress::Figures(const CCounts& c, std::int64_t nElapsedMs)
{
    QString strLine = QStringLiteral(" | %1 requests: %2 ok, %3 slow, %4 failed | %5 req/s")
                          .arg(c.nRequests)
                          .arg(c.nOk)
                          .arg(c.nSlow)
                          .arg(c.nTimeout + c.nFailed + c.nNotSent)
                          .arg(nElapsedMs > 0 ? double(c.nRequests) * 1000.0 / double(nElapsedMs) : 0.0, 0, 'f', 1);
    if (c.nLastMs >= 0)
        strLine += QStringLiteral(" | last %1 ms").arg(c.nLastMs);
    return strLine;
}

QString CRunProgress::StatusLine() const
{
    const CCounts c = Counts();
    const std::int64_t nElapsedMs = ElapsedMs(c.nStartMs);
    QString strLine = Elapsed(nElapsedMs);
    if (c.nPass > 0)
        strLine += QStringLiteral(" pass %1").arg(c.nPass);
    return strLine + Figures(c, nElapsedMs);
}

QString CRunProgress::FleetStatusLine(const CFleetRunner::SSummary& devices) const
{
    const CCounts c = Counts();
    const std::int64_t nElapsedMs = ElapsedMs(c.nStartMs);
    QString strLine = Elapsed(nElapsedMs) + QStringLiteral(" | devices: %1 done, %2 running, %3 waiting")
                                                 .arg(devices.nPassed + devices.nFailed + devices.nScriptError)
                                                 .arg(devices.nRunning)
                                                 .arg(devices.nWaiting);
    if (devices.nNotRun > 0)
        strLine += QStringLiteral(", %1 not run").arg(devices.nNotRun);
    return strLine + Figures(c, nElapsedMs);
}

QString CRunProgress::Summary() const
{
    const CCounts c = Counts();
    return QStringLiteral("%1 requests (ok %2, slow %3, timeout %4, failed %5, not sent %6), %7 CheckAlive waits, %8 s")
        .arg(c.nRequests)
        .arg(c.nOk)
        .arg(c.nSlow)
        .arg(c.nTimeout)
        .arg(c.nFailed)
        .arg(c.nNotSent)
        .arg(c.nWaits)
        .arg(double(ElapsedMs(c.nStartMs)) / 1000.0, 0, 'f', 1);
}

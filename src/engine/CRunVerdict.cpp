#include "CRunVerdict.h"

#include <utility>

#include "RunRequirements.h"

namespace {

constexpr int kCheckCode = 7;

void KeepCode(CRunVerdictSummary& summary, int nCode)
{
    if (summary.nExitCode == 0 || nCode < summary.nExitCode)
        summary.nExitCode = nCode;
}

}  // namespace

QString CFailedRequest::Describe() const
{
    if (bCheckFailed)
        return QStringLiteral("%1 (check: %2)").arg(strUrl, strReason);
    QString strWhat;
    switch (outcome) {
    case ERequestOutcome::Ok:
    case ERequestOutcome::Slow:
        strWhat = nStatus >= 400 ? QStringLiteral("status %1").arg(nStatus) : QString::fromLatin1(OutcomeName(outcome));
        if (outcome == ERequestOutcome::Slow && nStatus >= 400)
            strWhat = QStringLiteral("slow, status %1").arg(nStatus);
        break;
    case ERequestOutcome::Timeout:
    case ERequestOutcome::Failed:
    case ERequestOutcome::NotSent:
        strWhat = QString::fromLatin1(OutcomeName(outcome));
        if (!strReason.isEmpty())
            strWhat += QStringLiteral(": ") + strReason;
        break;
    }
    return QStringLiteral("%1 (%2)").arg(strUrl, strWhat);
}

QString CRunVerdictSummary::Describe() const { return Text(true); }

QString CRunVerdictSummary::Headline() const { return Text(false); }

QString CRunVerdictSummary::Text(bool bFirst) const
{
    if (bPass)
        return QStringLiteral("all %1 requests passed").arg(nRequests);
    QStringList kinds;
    if (nUnanswered > 0)
        kinds << QStringLiteral("%1 unanswered").arg(nUnanswered);
    if (nSlow > 0)
        kinds << QStringLiteral("%1 slow").arg(nSlow);
    if (nErrorStatus > 0)
        kinds << QStringLiteral("%1 with an error status").arg(nErrorStatus);
    if (nCheckFailed > 0)
        kinds << QStringLiteral("%1 with a failing check").arg(nCheckFailed);
    QStringList first;
    for (const CFailedRequest& request : vecFirst)
        first << request.Describe();
    QString strText;
    if (!vecFirst.empty()) {
        strText = QStringLiteral("%1 of %2 requests failed (%3)")
                      .arg(nFailed)
                      .arg(nRequests)
                      .arg(kinds.join(QStringLiteral(", ")));
        if (bFirst)
            strText += QStringLiteral("; first: ") + first.join(QStringLiteral(", "));
    }
    if (!vecNotRequestLines.empty()) {
        QStringList lines;
        for (int nLine : vecNotRequestLines)
            lines << QString::number(nLine);
        if (!strText.isEmpty())
            strText += QStringLiteral("; ");
        strText += vecNotRequestLines.size() == 1
                       ? QStringLiteral("no request was sent: line %1 looks like a request but is not an HTTP command")
                             .arg(lines.front())
                       : QStringLiteral("no request was sent: lines %1 look like requests but are not HTTP commands")
                             .arg(lines.join(QStringLiteral(", ")));
    }
    if (!requirementsFailed.isEmpty()) {
        if (!strText.isEmpty())
            strText += QStringLiteral("; ");
        strText += QStringLiteral("%1 of the run's requirements failed: %2")
                       .arg(requirementsFailed.size())
                       .arg(requirementsFailed.join(QStringLiteral(", ")));
    }
    return strText;
}

void CRunVerdict::OnRunStart(const CRunStartInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_summary = CRunVerdictSummary();
    m_bFailOnSlow = info.bFailOnSlow;
    m_bFailOnStatus = info.bFailOnStatus;
    m_vecRequirements = info.vecRequirements;
    m_vecNotRequestLines = info.vecNotRequestLines;
    m_pStatistics.reset();
    if (!m_vecRequirements.empty())
        m_pStatistics = std::make_unique<CRunStatistics>();
}

void CRunVerdict::OnRequest(const CRequestResult& result)
{
    std::lock_guard lock(m_mutex);
    if (m_pStatistics)
        m_pStatistics->Add(result);
    CRunVerdictSummary& summary = m_summary;
    ++summary.nRequests;
    if (result.bPass)
        return;
    ++summary.nFailed;
    summary.bPass = false;
    const bool bAnswered = result.outcome == ERequestOutcome::Ok || result.outcome == ERequestOutcome::Slow;
    if (!bAnswered) {
        ++summary.nUnanswered;
        KeepCode(summary, 3);
    } else {
        // A slow answer fails under the slow rule, an error status under the
        // status rule, a failing check on its own; the codes rank 5, 6, 7.
        if (m_bFailOnSlow && result.outcome == ERequestOutcome::Slow) {
            ++summary.nSlow;
            KeepCode(summary, 5);
        }
        if (m_bFailOnStatus && result.nStatus >= 400) {
            ++summary.nErrorStatus;
            KeepCode(summary, 6);
        }
        if (result.nChecksFailed > 0) {
            ++summary.nCheckFailed;
            KeepCode(summary, kCheckCode);
        }
    }
    if (summary.vecFirst.size() < CRunVerdictSummary::kFirstKept)
        summary.vecFirst.push_back({result.nIndex, result.nPass, result.nLine, result.strUrl, result.nStatus,
                                    result.outcome, result.strReason, bAnswered && result.nChecksFailed > 0});
}

void CRunVerdict::OnCheckAlive(const CCheckAliveResult& result)
{
    if (result.nChecksFailed == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_summary.bPass = false;
    ++m_summary.nCheckFailed;
    KeepCode(m_summary, kCheckCode);
    if (m_summary.vecFirst.size() < CRunVerdictSummary::kFirstKept)
        m_summary.vecFirst.push_back({result.nIndex, result.nPass, result.nLine,
                                      QStringLiteral("CheckAlive(%1:%2)").arg(result.strHost, result.strPort), -1,
                                      ERequestOutcome::Ok, result.strReason, true});
}

void CRunVerdict::OnRunEnd(const CRunEndInfo& /*info*/)
{
    std::lock_guard lock(m_mutex);
    // A script whose requests were all mistyped sends nothing: no pass.
    if (m_summary.nRequests == 0 && !m_vecNotRequestLines.empty()) {
        m_summary.bPass = false;
        m_summary.vecNotRequestLines = m_vecNotRequestLines;
        KeepCode(m_summary, 3);
    }
    if (!m_pStatistics)
        return;
    m_summary.requirementsFailed = RunRequirements::Judge(m_vecRequirements, m_pStatistics->Snapshot());
    if (!m_summary.requirementsFailed.isEmpty()) {
        m_summary.bPass = false;
        KeepCode(m_summary, kCheckCode);
    }
}

CRunVerdictSummary CRunVerdict::Summary() const
{
    std::lock_guard lock(m_mutex);
    return m_summary;
}

void CRunVerdict::Swap(CRunVerdict& other)
{
    if (&other == this)
        return;
    std::scoped_lock lock(m_mutex, other.m_mutex);
    std::swap(m_summary, other.m_summary);
    std::swap(m_bFailOnSlow, other.m_bFailOnSlow);
    std::swap(m_bFailOnStatus, other.m_bFailOnStatus);
    m_vecRequirements.swap(other.m_vecRequirements);
    m_vecNotRequestLines.swap(other.m_vecNotRequestLines);
    m_pStatistics.swap(other.m_pStatistics);
}

#include "CRunVerdict.h"

QString CFailedRequest::Describe() const
{
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

QString CRunVerdictSummary::Describe() const
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
    QStringList first;
    for (const CFailedRequest& request : vecFirst)
        first << request.Describe();
    return QStringLiteral("%1 of %2 requests failed (%3); first: %4")
        .arg(nFailed)
        .arg(nRequests)
        .arg(kinds.join(QStringLiteral(", ")), first.join(QStringLiteral(", ")));
}

void CRunVerdict::OnRunStart(const CRunStartInfo& info)
{
    std::lock_guard lock(m_mutex);
    m_summary = CRunVerdictSummary();
    m_bFailOnSlow = info.bFailOnSlow;
    m_bFailOnStatus = info.bFailOnStatus;
}

void CRunVerdict::OnRequest(const CRequestResult& result)
{
    std::lock_guard lock(m_mutex);
    CRunVerdictSummary& summary = m_summary;
    ++summary.nRequests;
    if (result.bPass)
        return;
    ++summary.nFailed;
    summary.bPass = false;
    int nCode = 6;
    switch (result.outcome) {
    case ERequestOutcome::Timeout:
    case ERequestOutcome::Failed:
    case ERequestOutcome::NotSent:
        ++summary.nUnanswered;
        nCode = 3;
        break;
    case ERequestOutcome::Slow:
        // A slow answer fails under the slow rule, an error status under the
        // status rule; when both hold, the slow rule's code comes first.
        if (m_bFailOnSlow) {
            ++summary.nSlow;
            nCode = 5;
        }
        if (m_bFailOnStatus && result.nStatus >= 400)
            ++summary.nErrorStatus;
        break;
    case ERequestOutcome::Ok:
        ++summary.nErrorStatus;
        break;
    }
    if (summary.nExitCode == 0 || nCode < summary.nExitCode)
        summary.nExitCode = nCode;
    if (summary.vecFirst.size() < CRunVerdictSummary::kFirstKept)
        summary.vecFirst.push_back({result.nIndex, result.nPass, result.nLine, result.strUrl, result.nStatus,
                                    result.outcome, result.strReason});
}

CRunVerdictSummary CRunVerdict::Summary() const
{
    std::lock_guard lock(m_mutex);
    return m_summary;
}

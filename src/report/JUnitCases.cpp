#include "JUnitCases.h"

#include <QStringList>

#include <algorithm>
#include <compare>
#include <map>
#include <utility>

namespace JUnitCases {

// The failing requests a per-line test case lists in its failure's text.
constexpr int kListedFailures = 5;

// Milliseconds as seconds with three decimals: 1234 -> "1.234".
QString Seconds(std::int64_t nMs)
{
    nMs = std::max<std::int64_t>(nMs, 0);
    QString str = QString::number(nMs / 1000);
    const int nFraction = int(nMs % 1000);
    const char16_t fraction[] = {u'.', char16_t(u'0' + nFraction / 100), char16_t(u'0' + nFraction / 10 % 10),
                                 char16_t(u'0' + nFraction % 10)};
    str.append(reinterpret_cast<const QChar*>(fraction), 4);
    return str;
}

// What made a request fail, ranked as the exit codes rank the causes: a
// timeout, a failed request and one not sent (3) before a slow response (5)
// before an error status (6) before a failing check (7). An error status is
// counted per status.
struct CFailKind {
    enum ERank { Timeout, Failed, NotSent, Slow, Status, Check, Unexplained };
    ERank rank = Unexplained;
    int nStatus = -1;  // for Status: the final HTTP status

    auto operator<=>(const CFailKind&) const = default;

    // "timeout", "failed", "not-sent", "slow", "status"; "ok" for a request
    // whose verdict no rule explains.
    QString Type() const
    {
        switch (rank) {
        case Timeout:
            return QStringLiteral("timeout");
        case Failed:
            return QStringLiteral("failed");
        case NotSent:
            return QStringLiteral("not-sent");
        case Slow:
            return QStringLiteral("slow");
        case Status:
            return QStringLiteral("status");
        case Check:
            return QStringLiteral("check");
        case Unexplained:
            break;
        }
        return QStringLiteral("ok");
    }

    // As the failure message counts it: the type, "status 503" for a status.
    QString Label() const { return rank == Status ? QStringLiteral("status %1").arg(nStatus) : Type(); }
};

// Why a failing request (bPass false) failed under the run's rules. A slow
// response with an error status fails as slow when slow responses fail.
CFailKind FailKindOf(const CRecordedRequest& request, const CRunStartInfo& start)
{
    switch (request.outcome) {
    case ERequestOutcome::Timeout:
        return {CFailKind::Timeout};
    case ERequestOutcome::Failed:
        return {CFailKind::Failed};
    case ERequestOutcome::NotSent:
        return {CFailKind::NotSent};
    case ERequestOutcome::Slow:
        if (start.bFailOnSlow || (request.nStatus < 400 && !request.bCheckFailed))
            return {CFailKind::Slow};
        break;
    case ERequestOutcome::Ok:
        break;
    }
    if (request.nStatus >= 400 && (start.bFailOnStatus || !request.bCheckFailed))
        return CFailKind{CFailKind::Status, request.nStatus};
    return request.bCheckFailed ? CFailKind{CFailKind::Check} : CFailKind{};
}

QString StatusText(int nStatus)
{
    return nStatus < 0 ? QStringLiteral("no status") : QStringLiteral("status %1").arg(nStatus);
}

const QString* ReasonOf(const CRecordedRun& run, const CRecordedRequest& request)
{
    if (request.nReason < 0 || static_cast<std::size_t>(request.nReason) >= run.vecReasons.size())
        return nullptr;
    return &run.vecReasons[static_cast<std::size_t>(request.nReason)];
}

// The script's name as the report names the run: "velkor" for a typed script.
QString ScriptName(const CRecordedRun& run)
{
    return run.start.strScript.isEmpty() ? QStringLiteral("velkor") : run.start.strScript;
}

// A per-line test case's class: the script's name, a dot, the server
// ("demo.cmf.cam-01:80"). Jenkins splits a classname at its last dot into
// package and class, and the dot is what puts the whole script name, with
// its own dots, into the package and the server into the class; any other
// joint would cut the script name at its extension ("demo" / "cmf ...").
// A host with dots (an IPv4 address, a domain name) moves part of the host
// into the package ("demo.cmf.192.168.1" / "10:80"), which still reads in
// order; the host is not altered, so the classname as a whole, as GitLab
// and Jenkins' case page show it, is the server as typed.
QString LineClassname(const CRecordedRun& run, const CRecordedTarget& target)
{
    return ScriptName(run) + QLatin1Char('.') + target.strHost + QLatin1Char(':') + target.strPort;
}

QString RequestFailureMessage(const CRecordedRequest& request, const CFailKind& kind, int nThresholdMs)
{
    switch (kind.rank) {
    case CFailKind::Slow:
        return QStringLiteral("slow: %1 ms, threshold %2 ms").arg(request.nTimeMs).arg(nThresholdMs);
    case CFailKind::Timeout:
        return QStringLiteral("timeout after %1 ms").arg(request.nTimeMs);
    case CFailKind::Failed:
        return request.nStatus < 0
                   ? QStringLiteral("failed after %1 ms").arg(request.nTimeMs)
                   : QStringLiteral("failed after %1 ms, HTTP status %2").arg(request.nTimeMs).arg(request.nStatus);
    case CFailKind::NotSent:
        return QStringLiteral("not sent");
    case CFailKind::Status:
        return QStringLiteral("HTTP status %1 after %2 ms").arg(request.nStatus).arg(request.nTimeMs);
    case CFailKind::Check:
        return QStringLiteral("check failed, status %1 after %2 ms").arg(request.nStatus).arg(request.nTimeMs);
    case CFailKind::Unexplained:
        break;
    }
    return QString::fromLatin1(OutcomeName(request.outcome));
}

// PerRequest: one case per request.
std::vector<CCase> RequestCases(const CRecordedRun& run)
{
    std::vector<QString> vecClassnames;
    vecClassnames.reserve(run.vecTargets.size());
    for (const CRecordedTarget& target : run.vecTargets)
        vecClassnames.push_back(target.strHost + QLatin1Char(':') + target.strPort);
    std::vector<CCase> vecCases;
    vecCases.reserve(run.vecRequests.size());
    for (const CRecordedRequest& request : run.vecRequests) {
        const CRecordedTarget& target = run.vecTargets[request.nTarget];
        CCase testcase;
        testcase.strName = target.strUrl;
        testcase.strClassname = vecClassnames[request.nTarget];
        testcase.nTimeMs = request.nTimeMs;
        if (!request.bPass) {
            const CFailKind kind = FailKindOf(request, run.start);
            testcase.bFailed = true;
            testcase.strFailureType = kind.Type();
            testcase.strFailureMessage = RequestFailureMessage(request, kind, run.start.nThresholdMs);
            // One arg() call: a URL's own "%3D" must not take a later argument.
            testcase.strFailureText =
                QStringLiteral("request %1, pass %2, line %3, %4, %5, %6 ms")
                    .arg(QString::number(request.nIndex), QString::number(request.nPass),
                         QString::number(request.nLine), target.strUrl, StatusText(request.nStatus),
                         QString::number(request.nTimeMs));
            if (const QString* pReason = ReasonOf(run, request))
                testcase.strFailureText += QStringLiteral("\nreason: ") + *pReason;
        }
        vecCases.push_back(std::move(testcase));
    }
    return vecCases;
}

// A failing request as a per-line case lists it:
// "pass 2, request 7: no status, timeout, 5000 ms - REASON".
QString FailingRequestLine(const CRecordedRun& run, const CRecordedRequest& request)
{
    QString strLine = request.nPass > 0 ? QStringLiteral("pass %1, request %2: ").arg(request.nPass).arg(request.nIndex)
                                        : QStringLiteral("request %1: ").arg(request.nIndex);
    strLine += QStringLiteral("%1, %2, %3 ms")
                   .arg(StatusText(request.nStatus), QString::fromLatin1(OutcomeName(request.outcome)))
                   .arg(request.nTimeMs);
    if (const QString* pReason = ReasonOf(run, request))
        strLine += QStringLiteral(" - ") + *pReason;
    return strLine;
}

// PerLine: one case per command line (its line and target), in the order
// the lines were first requested.
std::vector<CCase> LineCases(const CRecordedRun& run)
{
    struct CLine {
        int nLine = 0;
        std::uint32_t nTarget = 0;
        std::size_t nRequests = 0;
        std::int64_t nSumMs = 0;
        std::size_t nFailed = 0;
        std::map<CFailKind, std::size_t> kinds;
        QStringList listed;  // the first failing requests
    };
    std::vector<CLine> vecLines;
    std::map<std::pair<int, std::uint32_t>, std::size_t> mapIndex;  // line and target -> vecLines index
    for (const CRecordedRequest& request : run.vecRequests) {
        const auto [it, bNew] = mapIndex.try_emplace({request.nLine, request.nTarget}, vecLines.size());
        if (bNew) {
            vecLines.emplace_back();
            vecLines.back().nLine = request.nLine;
            vecLines.back().nTarget = request.nTarget;
        }
        CLine& line = vecLines[it->second];
        ++line.nRequests;
        line.nSumMs += std::max<std::int64_t>(request.nTimeMs, 0);
        if (request.bPass)
            continue;
        ++line.nFailed;
        ++line.kinds[FailKindOf(request, run.start)];
        if (line.listed.size() < kListedFailures)
            line.listed << FailingRequestLine(run, request);
    }

    std::vector<CCase> vecCases;
    vecCases.reserve(vecLines.size());
    for (const CLine& line : vecLines) {
        const CRecordedTarget& target = run.vecTargets[line.nTarget];
        CCase testcase;
        testcase.strName = QStringLiteral("line %1: %2").arg(line.nLine).arg(target.strTarget);
        testcase.strClassname = LineClassname(run, target);
        testcase.nTimeMs = line.nSumMs;
        if (line.nFailed > 0) {
            QStringList counts;
            for (const auto& [kind, nCount] : line.kinds)
                counts << QStringLiteral("%1 %2").arg(nCount).arg(kind.Label());
            testcase.bFailed = true;
            testcase.strFailureType = line.kinds.begin()->first.Type();
            testcase.strFailureMessage = QStringLiteral("%1 of %2 %3 failed: %4")
                                             .arg(line.nFailed)
                                             .arg(line.nRequests)
                                             .arg(line.nRequests == 1 ? QStringLiteral("request")
                                                                      : QStringLiteral("requests"),
                                                  counts.join(QStringLiteral(", ")));
            QStringList text = line.listed;
            const auto nListed = static_cast<std::size_t>(line.listed.size());
            if (line.nFailed > nListed)
                text << QStringLiteral("... and %1 more").arg(line.nFailed - nListed);
            testcase.strFailureText = text.join(QLatin1Char('\n'));
        }
        vecCases.push_back(std::move(testcase));
    }
    return vecCases;
}

// One case per CheckAlive line (its line and target), in the order the
// lines first waited: its time is the sum of the waits' downtimes, and it
// fails when a wait was stopped before the device came back.
std::vector<CCase> CheckAliveCases(const CRecordedRun& run)
{
    std::vector<CCase> vecCases;
    struct CCounts {
        std::size_t nWaits = 0;
        std::size_t nStopped = 0;
        QString strHost;
    };
    std::vector<CCounts> vecCounts;
    std::map<std::pair<int, QString>, std::size_t> mapIndex;      // line and target -> vecCases index
    for (const CCheckAliveResult& wait : run.vecCheckAlives) {
        const QString strTarget = wait.strHost + QLatin1Char(':') + wait.strPort;
        const auto [it, bNew] = mapIndex.try_emplace({wait.nLine, strTarget}, vecCases.size());
        if (bNew) {
            CCase testcase;
            testcase.strName = QStringLiteral("line %1: CheckAlive(%2)").arg(wait.nLine).arg(strTarget);
            testcase.strClassname = ScriptName(run) + QLatin1Char('.') + strTarget;
            vecCases.push_back(testcase);
            vecCounts.push_back({0, 0, wait.strHost});
        }
        CCase& testcase = vecCases[it->second];
        CCounts& counts = vecCounts[it->second];
        ++counts.nWaits;
        testcase.nTimeMs += std::max<std::int64_t>(wait.nDownMs, 0);
        if (!wait.bStopped)
            continue;
        ++counts.nStopped;
        testcase.bFailed = true;
        testcase.strFailureType = QStringLiteral("stopped");
        if (counts.nStopped <= std::size_t(kListedFailures)) {
            if (!testcase.strFailureText.isEmpty())
                testcase.strFailureText += QLatin1Char('\n');
            testcase.strFailureText +=
                (wait.nPass > 0 ? QStringLiteral("pass %1, wait %2: ").arg(wait.nPass).arg(wait.nIndex)
                                : QStringLiteral("wait %1: ").arg(wait.nIndex)) +
                QStringLiteral("stopped after %1 ms, %2 attempts").arg(wait.nDownMs).arg(wait.nAttempts);
        }
    }
    for (std::size_t i = 0; i < vecCases.size(); ++i) {
        const CCounts& counts = vecCounts[i];
        if (counts.nStopped == 0)
            continue;
        vecCases[i].strFailureMessage = QStringLiteral("%1 of %2 %3 stopped before %4 came back")
                                            .arg(counts.nStopped)
                                            .arg(counts.nWaits)
                                            .arg(counts.nWaits == 1 ? QStringLiteral("wait") : QStringLiteral("waits"),
                                                 counts.strHost);
        if (counts.nStopped > std::size_t(kListedFailures))
            vecCases[i].strFailureText += QStringLiteral("\n... and %1 more").arg(counts.nStopped - kListedFailures);
    }
    return vecCases;
}

}  // namespace JUnitCases

#include "CFleetReport.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

QString CRecordedDevice::VerdictName() const
{
    switch (state) {
    case EState::ScriptError:
        return QStringLiteral("script-error");
    case EState::NotRun:
        return QStringLiteral("not-run");
    case EState::Ran:
        break;
    }
    return QString::fromLatin1(run.verdict.Name());
}

bool CRecordedFleet::IsPartial() const
{
    return std::any_of(devices.begin(), devices.end(), [](const CRecordedDevice& device) { return device.IsCutShort(); });
}

std::size_t CRecordedFleet::NotRunCount() const
{
    return std::size_t(std::count_if(devices.begin(), devices.end(), [](const CRecordedDevice& device) {
        return device.state == CRecordedDevice::EState::NotRun;
    }));
}

CRecordedRun JoinedRun(const CRecordedFleet& fleet, bool bByLine)
{
    CRecordedRun joined;
    joined.start.strScript = fleet.strScript;
    joined.start.nThresholdMs = fleet.nThresholdMs;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRunStartInfo& start = device.run.start;
        if (device.run.bStarted && start.startedAt.isValid() &&
            (!joined.bStarted || start.startedAt < joined.start.startedAt)) {
            joined.bStarted = true;
            joined.start.startedAt = start.startedAt;
        }
    }
    QHash<QString, std::uint32_t> targets;
    QHash<QString, std::int32_t> reasons;
    joined.bEnded = true;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRecordedRun& run = device.run;
        if (device.state == CRecordedDevice::EState::Ran && !run.bEnded)
            joined.bEnded = false;
        const std::int64_t nShiftMs = joined.bStarted && run.bStarted && run.start.startedAt.isValid()
                                          ? joined.start.startedAt.msecsTo(run.start.startedAt)
                                          : 0;
        std::vector<std::uint32_t> targetMap;
        for (const CRecordedTarget& target : run.vecTargets) {
            CRecordedTarget joinedTarget = target;
            if (bByLine)
                joinedTarget.strUrl.clear();
            const QString strKey = target.strUrl + QChar(0) + target.strHost + QChar(0) + target.strPort;
            auto it = targets.constFind(strKey);
            if (bByLine) {
                targetMap.push_back(0);  // set per request: the line decides
                continue;
            }
            if (it == targets.constEnd()) {
                it = targets.insert(strKey, std::uint32_t(joined.vecTargets.size()));
                joined.vecTargets.push_back(joinedTarget);
            }
            targetMap.push_back(*it);
        }
        for (CRecordedRequest request : run.vecRequests) {
            if (bByLine) {
                const CRecordedTarget& target = run.vecTargets[request.nTarget];
                const QString strKey = QString::number(request.nLine);
                auto it = targets.constFind(strKey);
                if (it == targets.constEnd()) {
                    it = targets.insert(strKey, std::uint32_t(joined.vecTargets.size()));
                    CRecordedTarget lineTarget = target;
                    lineTarget.strUrl = QStringLiteral("line %1: %2").arg(request.nLine).arg(target.strTarget);
                    joined.vecTargets.push_back(lineTarget);
                }
                request.nTarget = *it;
            } else {
                request.nTarget = targetMap[request.nTarget];
            }
            if (request.nReason >= 0) {
                const QString& strReason = run.vecReasons[std::size_t(request.nReason)];
                auto it = reasons.constFind(strReason);
                if (it == reasons.constEnd()) {
                    it = reasons.insert(strReason, std::int32_t(joined.vecReasons.size()));
                    joined.vecReasons.push_back(strReason);
                }
                request.nReason = *it;
            }
            request.nAtMs += nShiftMs;
            joined.vecRequests.push_back(request);
        }
        for (CCheckAliveResult wait : run.vecCheckAlives) {
            wait.nAtMs += nShiftMs;
            joined.vecCheckAlives.push_back(wait);
        }
    }
    std::stable_sort(joined.vecRequests.begin(), joined.vecRequests.end(),
                     [](const CRecordedRequest& a, const CRecordedRequest& b) { return a.nAtMs < b.nAtMs; });
    joined.end.bComplete = !fleet.IsPartial();
    for (const CRecordedDevice& device : fleet.devices) {
        joined.end.nHttpMs += device.run.end.nHttpMs;
        joined.end.nApplicationMs = std::max(joined.end.nApplicationMs, device.run.end.nApplicationMs);
    }
    joined.verdict = fleet.verdict;
    joined.nExitCode = fleet.nExitCode;
    return joined;
}

CRunStatisticsSnapshot LineStatisticsOf(const CRecordedRun& joinedByLine, std::vector<int>* pLines)
{
    CRunStatisticsSnapshot snapshot = StatisticsOf(joinedByLine);
    QHash<QString, int> lineOf;
    for (const CRecordedRequest& request : joinedByLine.vecRequests)
        lineOf.insert(joinedByLine.vecTargets[request.nTarget].strUrl, request.nLine);
    std::stable_sort(snapshot.vecUrls.begin(), snapshot.vecUrls.end(),
                     [&lineOf](const CUrlStatistics& a, const CUrlStatistics& b) {
                         return lineOf.value(a.strUrl) < lineOf.value(b.strUrl);
                     });
    if (pLines != nullptr) {
        pLines->clear();
        for (const CUrlStatistics& line : snapshot.vecUrls)
            pLines->push_back(lineOf.value(line.strUrl));
    }
    return snapshot;
}

int WorstExitCode(const CRecordedFleet& fleet)
{
    int nExit = 0;
    for (const CRecordedDevice& device : fleet.devices) {
        // A device that never ran fails as a request not sent does (3).
        const int nDevice = device.state == CRecordedDevice::EState::ScriptError ? 2
                            : device.state == CRecordedDevice::EState::NotRun ? 3
                                                                               : device.run.nExitCode;
        if (nDevice == 0)
            continue;
        // 2 before 3 before 5 before 6 before 7; any other code (a report
        // not written, a signal) after them.
        const auto rank = [](int nCode) {
            return nCode == 2 || nCode == 3 || nCode == 5 || nCode == 6 || nCode == 7 ? nCode : 1000 + nCode;
        };
        if (nExit == 0 || rank(nDevice) < rank(nExit))
            nExit = nDevice;
    }
    return nExit;
}

void FinishFleet(CRecordedFleet& fleet)
{
    CRunVerdictSummary verdict;
    for (const CRecordedDevice& device : fleet.devices) {
        const CRunVerdictSummary& one = device.run.verdict;
        if (!one.bPass || device.state != CRecordedDevice::EState::Ran)
            verdict.bPass = false;
        verdict.nRequests += one.nRequests;
        verdict.nFailed += one.nFailed;
        verdict.nUnanswered += one.nUnanswered;
        verdict.nSlow += one.nSlow;
        verdict.nErrorStatus += one.nErrorStatus;
        verdict.nCheckFailed += one.nCheckFailed;
        for (const CFailedRequest& failed : one.vecFirst)
            if (verdict.vecFirst.size() < std::size_t(CRunVerdictSummary::kFirstKept))
                verdict.vecFirst.push_back(failed);
    }
    fleet.nExitCode = WorstExitCode(fleet);
    verdict.nExitCode = fleet.nExitCode;
    fleet.verdict = verdict;
}

namespace {

bool OutcomeOf(const QString& strName, ERequestOutcome* pOutcome)
{
    for (const ERequestOutcome outcome : {ERequestOutcome::Ok, ERequestOutcome::Slow, ERequestOutcome::Timeout,
                                          ERequestOutcome::Failed, ERequestOutcome::NotSent})
        if (strName == QLatin1String(OutcomeName(outcome))) {
            *pOutcome = outcome;
            return true;
        }
    return false;
}

QString PortText(const QJsonValue& port)
{
    return port.isDouble() ? QString::number(port.toInteger()) : port.toString();
}

// One run's parts of a JSON report: its requests, waits, totals and verdict.
bool ReadRun(const QJsonObject& object, CRecordedRun* pRun, QString* pProblem)
{
    CRecordedRun& run = *pRun;
    const QJsonValue started = object.value(QLatin1String("started_at"));
    if (started.isString()) {
        run.start.startedAt = QDateTime::fromString(started.toString(), Qt::ISODateWithMs);
        run.bStarted = run.start.startedAt.isValid();
    }
    const QJsonValue requests = object.value(QLatin1String("requests"));
    if (!requests.isArray()) {
        *pProblem = QStringLiteral("no requests array");
        return false;
    }
    QHash<QString, std::uint32_t> targets;
    QHash<QString, std::int32_t> reasons;
    std::int64_t nSumMs = 0;
    CRunVerdictSummary& verdict = run.verdict;
    for (const QJsonValue& value : requests.toArray()) {
        const QJsonObject r = value.toObject();
        CRecordedRequest request;
        if (!OutcomeOf(r.value(QLatin1String("outcome")).toString(), &request.outcome) ||
            !r.value(QLatin1String("url")).isString()) {
            *pProblem = QStringLiteral("a request without a url or a known outcome");
            return false;
        }
        request.nIndex = r.value(QLatin1String("index")).toInt();
        request.nPass = r.value(QLatin1String("pass")).toInt();
        request.nLine = r.value(QLatin1String("line")).toInt();
        request.nStatus = r.value(QLatin1String("status")).toInt(-1);
        request.nTimeMs = r.value(QLatin1String("time_ms")).toInteger();
        // Reports written before the microseconds were kept have none.
        request.nTimeUs = r.value(QLatin1String("time_us")).toInteger(-1);
        // Without at_ms (a run's own report) the requests follow one another.
        request.nAtMs = r.contains(QLatin1String("at_ms")) ? r.value(QLatin1String("at_ms")).toInteger() : nSumMs;
        nSumMs = request.nAtMs + std::max<std::int64_t>(request.nTimeMs, 0);
        request.bPass = r.value(QLatin1String("verdict")).toString() != QLatin1String("fail");
        const CRecordedTarget target{r.value(QLatin1String("url")).toString(), QString(),
                                     r.value(QLatin1String("host")).toString(),
                                     PortText(r.value(QLatin1String("port"))), QString()};
        const QString strKey = target.strUrl + QChar(0) + target.strHost + QChar(0) + target.strPort;
        auto it = targets.constFind(strKey);
        if (it == targets.constEnd()) {
            it = targets.insert(strKey, std::uint32_t(run.vecTargets.size()));
            CRecordedTarget full = target;
            const qsizetype nScheme = full.strUrl.indexOf(QLatin1String("://"));
            full.strScheme = nScheme > 0 ? full.strUrl.left(nScheme) : QString();
            const qsizetype nPath = nScheme > 0 ? full.strUrl.indexOf(QLatin1Char('/'), nScheme + 3) : -1;
            full.strTarget = nPath > 0 ? full.strUrl.mid(nPath) : QStringLiteral("/");
            run.vecTargets.push_back(full);
        }
        request.nTarget = *it;
        const QJsonValue reason = r.value(QLatin1String("reason"));
        if (reason.isString()) {
            auto itReason = reasons.constFind(reason.toString());
            if (itReason == reasons.constEnd()) {
                itReason = reasons.insert(reason.toString(), std::int32_t(run.vecReasons.size()));
                run.vecReasons.push_back(reason.toString());
            }
            request.nReason = *itReason;
        }
        request.bCheckFailed = r.value(QLatin1String("check_failed")).toBool();
        ++verdict.nRequests;
        if (!request.bPass) {
            if (request.bCheckFailed) {
                ++verdict.nCheckFailed;
            } else if (request.outcome == ERequestOutcome::Slow) {
                ++verdict.nSlow;
                run.start.bFailOnSlow = true;
            } else if (request.outcome == ERequestOutcome::Ok) {
                ++verdict.nErrorStatus;
                run.start.bFailOnStatus = true;
            } else {
                ++verdict.nUnanswered;
            }
            if (verdict.vecFirst.size() < std::size_t(CRunVerdictSummary::kFirstKept))
                verdict.vecFirst.push_back({request.nIndex, request.nPass, request.nLine, target.strUrl,
                                            request.nStatus, request.outcome,
                                            reason.isString() ? reason.toString() : QString(),
                                            request.bCheckFailed});
        }
        run.vecRequests.push_back(request);
    }
    for (const QJsonValue& value : object.value(QLatin1String("checkalive")).toArray()) {
        const QJsonObject w = value.toObject();
        CCheckAliveResult wait;
        wait.nIndex = w.value(QLatin1String("index")).toInt();
        wait.nPass = w.value(QLatin1String("pass")).toInt();
        wait.nLine = w.value(QLatin1String("line")).toInt();
        wait.strHost = w.value(QLatin1String("host")).toString();
        wait.strPort = PortText(w.value(QLatin1String("port")));
        wait.nAtMs = w.value(QLatin1String("at_ms")).toInteger();
        wait.nDownMs = w.value(QLatin1String("down_ms")).toInteger();
        wait.nDownUs = w.value(QLatin1String("down_us")).toInteger(-1);
        wait.nAttempts = w.value(QLatin1String("attempts")).toInt();
        wait.bStopped = w.value(QLatin1String("stopped")).toBool();
        run.vecCheckAlives.push_back(wait);
    }
    const QJsonObject totals = object.value(QLatin1String("totals")).toObject();
    if (totals.value(QLatin1String("http_ms")).isDouble()) {
        run.bEnded = true;
        run.end.nHttpMs = totals.value(QLatin1String("http_ms")).toInteger();
        run.end.nApplicationMs = totals.value(QLatin1String("application_ms")).toInteger();
        run.end.nWhileRepeat = totals.value(QLatin1String("while_repeat")).toInt(-1);
        run.end.bStopped = totals.value(QLatin1String("stopped")).toBool();
        run.end.bComplete = !object.value(QLatin1String("partial")).toBool();
    }
    const QJsonValue exitCode = object.value(QLatin1String("exit_code"));
    if (!exitCode.isDouble()) {
        *pProblem = QStringLiteral("no exit_code");
        return false;
    }
    run.nExitCode = exitCode.toInt();
    verdict.nFailed = verdict.nUnanswered + verdict.nSlow + verdict.nErrorStatus + verdict.nCheckFailed;
    verdict.bPass = object.value(QLatin1String("verdict")).toString() == QLatin1String("pass");
    verdict.nExitCode = run.nExitCode;
    return true;
}

// The shard fields of a fleet report: all of them or none (an older report).
bool ReadShard(const QJsonObject& top, CFleetShard* pShard, QString* pProblem)
{
    const char* const keys[] = {"shard", "shards", "device_rows", "script_sha256", "devices_sha256"};
    const auto present = std::count_if(std::begin(keys), std::end(keys),
                                       [&top](const char* pszKey) { return top.contains(QLatin1String(pszKey)); });
    if (present == 0)
        return true;
    CFleetShard shard;
    shard.nIndex = top.value(QLatin1String("shard")).toInt();
    shard.nCount = top.value(QLatin1String("shards")).toInt();
    shard.nRows = top.value(QLatin1String("device_rows")).toInt();
    shard.strScriptSha256 = top.value(QLatin1String("script_sha256")).toString();
    shard.strDevicesSha256 = top.value(QLatin1String("devices_sha256")).toString();
    static const QRegularExpression sha256(QStringLiteral("^[0-9a-f]{64}$"));
    if (present != qsizetype(std::size(keys)) || shard.nIndex < 1 || shard.nIndex > shard.nCount || shard.nRows < 1 ||
        !sha256.match(shard.strScriptSha256).hasMatch() || !sha256.match(shard.strDevicesSha256).hasMatch()) {
        *pProblem = QStringLiteral("its shard, shards, device_rows, script_sha256 and devices_sha256 are not all "
                                   "there or not valid");
        return false;
    }
    *pShard = shard;
    return true;
}

}  // namespace

bool ReadFleetJson(const QByteArray& json, const QString& strSingleName, CRecordedFleet* pFleet, QString* pProblem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (document.isNull()) {
        *pProblem = QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
        return false;
    }
    const QJsonObject top = document.object();
    if (!top.value(QLatin1String("script")).isString() || !top.value(QLatin1String("threshold_ms")).isDouble()) {
        *pProblem = QStringLiteral("not a velkor-cli JSON report (no script or threshold_ms)");
        return false;
    }
    CRecordedFleet& fleet = *pFleet;
    fleet = CRecordedFleet();
    fleet.strScript = top.value(QLatin1String("script")).toString();
    fleet.nThresholdMs = top.value(QLatin1String("threshold_ms")).toInt();
    std::vector<QJsonObject> objects;
    const bool bFleet = top.value(QLatin1String("devices")).isArray();
    if (bFleet) {
        for (const QJsonValue& value : top.value(QLatin1String("devices")).toArray())
            objects.push_back(value.toObject());
    } else {
        objects.push_back(top);
    }
    for (const QJsonObject& object : objects) {
        CRecordedDevice device;
        device.strName = bFleet ? object.value(QLatin1String("name")).toString() : strSingleName;
        if (device.strName.isEmpty()) {
            *pProblem = QStringLiteral("a device without a name");
            return false;
        }
        device.nRow = object.value(QLatin1String("row")).toInt();
        const QJsonObject variables = object.value(QLatin1String("variables")).toObject();
        for (auto it = variables.begin(); it != variables.end(); ++it)
            device.variables.append({it.key(), it.value().toString()});
        const QString strVerdict = object.value(QLatin1String("verdict")).toString();
        if (strVerdict == QLatin1String("script-error"))
            device.state = CRecordedDevice::EState::ScriptError;
        else if (strVerdict == QLatin1String("not-run"))
            device.state = CRecordedDevice::EState::NotRun;
        QString strRunProblem;
        if (!ReadRun(object, &device.run, &strRunProblem)) {
            *pProblem = QStringLiteral("device %1: %2").arg(device.strName, strRunProblem);
            return false;
        }
        device.run.start.strScript = fleet.strScript;
        device.run.start.nThresholdMs = fleet.nThresholdMs;
        if (device.state == CRecordedDevice::EState::ScriptError)
            device.run.verdict.bPass = false;
        fleet.devices.push_back(std::move(device));
    }
    if (!bFleet) {
        fleet.bSingleRun = true;
    } else if (!ReadShard(top, &fleet.shard, pProblem)) {
        return false;
    }
    if (top.value(QLatin1String("partial")).toBool())
        for (CRecordedDevice& device : fleet.devices)
            if (device.state == CRecordedDevice::EState::NotRun)
                device.bKeptFromStarting = true;
    fleet.verdict.bPass = top.value(QLatin1String("verdict")).toString() == QLatin1String("pass");
    fleet.nExitCode = top.value(QLatin1String("exit_code")).toInt();
    return true;
}

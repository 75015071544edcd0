// Reading a JSON report back into a recorded run or fleet: one pass of the
// strict scanner over the text, each request recorded as it is read, no tree
// of the document (a 1,000,000-request report is 273 MB of text).
#include "CFleetReport.h"
#include "CRequestsReader.h"
#include "ReportJsonFields.h"

#include <QDateTime>
#include <QRegularExpression>

using namespace reportjson;

namespace {

bool ReadCheckAlives(CJsonScanner& scan, std::vector<CCheckAliveResult>* pWaits)
{
    return scan.Array([&] {
        CCheckAliveResult wait;
        wait.nDownUs = -1;
        if (scan.Peek() != '{') {
            pWaits->push_back(wait);
            return scan.Skip();
        }
        CNumber index, pass, line, atMs, downMs, downUs, attempts;
        std::string port;
        const bool bRead = scan.Object([&](std::string_view key) {
            if (key == "index")
                return index.Read(scan);
            if (key == "pass")
                return pass.Read(scan);
            if (key == "line")
                return line.Read(scan);
            if (key == "host")
                return ReadText(scan, &wait.strHost);
            if (key == "port")
                return ReadPort(scan, &port);
            if (key == "at_ms")
                return atMs.Read(scan);
            if (key == "down_ms")
                return downMs.Read(scan);
            if (key == "down_us")
                return downUs.Read(scan);
            if (key == "attempts")
                return attempts.Read(scan);
            if (key == "stopped")
                return ReadFlag(scan, &wait.bStopped);
            return scan.Skip();
        });
        wait.nIndex = index.Int();
        wait.nPass = pass.Int();
        wait.nLine = line.Int();
        wait.strPort = QString::fromStdString(port);
        wait.nAtMs = atMs.Integer(0);
        wait.nDownMs = downMs.Integer(0);
        wait.nDownUs = downUs.Integer(-1);
        wait.nAttempts = attempts.Int();
        pWaits->push_back(wait);
        return bRead;
    });
}

bool ReadTotals(CJsonScanner& scan, CRunFields& fields)
{
    if (scan.Peek() != '{')
        return scan.Skip();
    CNumber httpMs, applicationMs, whileRepeat;
    const bool bRead = scan.Object([&](std::string_view key) {
        if (key == "http_ms")
            return httpMs.Read(scan);
        if (key == "application_ms")
            return applicationMs.Read(scan);
        if (key == "while_repeat")
            return whileRepeat.Read(scan);
        if (key == "stopped")
            return ReadFlag(scan, &fields.run.end.bStopped);
        return scan.Skip();
    });
    fields.bTotals = httpMs.bIs;
    fields.run.end.nHttpMs = httpMs.Integer(0);
    fields.run.end.nApplicationMs = applicationMs.Integer(0);
    fields.run.end.nWhileRepeat = whileRepeat.Int(-1);
    return bRead;
}

bool ReadVariables(CJsonScanner& scan, QList<QPair<QString, QString>>* pVariables)
{
    if (scan.Peek() != '{')
        return scan.Skip();
    return scan.Object([&](std::string_view key) {
        QString strValue;
        if (!ReadText(scan, &strValue))
            return false;
        pVariables->append({QString::fromUtf8(key.data(), qsizetype(key.size())), strValue});
        return true;
    });
}

// A member of a run's object: true when it is one (read into *pFields, *pOk
// whether the text read well).
bool RunMember(CJsonScanner& scan, std::string_view key, CRunFields* pFields, bool* pOk)
{
    CRunFields& fields = *pFields;
    if (key == "started_at") {
        QString strStarted;
        bool bIs = false;
        *pOk = ReadText(scan, &strStarted, &bIs);
        if (bIs) {
            fields.run.start.startedAt = QDateTime::fromString(strStarted, Qt::ISODateWithMs);
            fields.run.bStarted = fields.run.start.startedAt.isValid();
        }
    } else if (key == "requests" && scan.Peek() == '[') {
        fields.bRequests = true;
        *pOk = CRequestsReader(scan, fields).Read();
    } else if (key == "checkalive" && scan.Peek() == '[') {
        *pOk = ReadCheckAlives(scan, &fields.run.vecCheckAlives);
    } else if (key == "totals") {
        *pOk = ReadTotals(scan, fields);
    } else if (key == "partial") {
        *pOk = ReadFlag(scan, &fields.bPartial);
    } else if (key == "exit_code") {
        *pOk = fields.exitCode.Read(scan);
    } else if (key == "verdict") {
        *pOk = ReadText(scan, &fields.strVerdict);
    } else {
        return false;
    }
    return true;
}

// The run's object read: its problem, or "".
QString FinishRun(CRunFields& fields)
{
    CRecordedRun& run = fields.run;
    if (!fields.bRequests)
        return QStringLiteral("no requests array");
    if (!fields.strProblem.isEmpty())
        return fields.strProblem;
    if (fields.bTotals) {
        run.bEnded = true;
        run.end.bComplete = !fields.bPartial;
    } else {
        run.end = CRunEndInfo();
    }
    if (!fields.exitCode.bIs)
        return QStringLiteral("no exit_code");
    run.nExitCode = fields.exitCode.Int();
    CRunVerdictSummary& verdict = run.verdict;
    verdict.nFailed = verdict.nUnanswered + verdict.nSlow + verdict.nErrorStatus + verdict.nCheckFailed;
    verdict.bPass = fields.strVerdict == QLatin1String("pass");
    verdict.nExitCode = run.nExitCode;
    return QString();
}

// A fleet's device from its fields; its problem, or "".
QString DeviceOf(CRunFields& fields, const QString& strName, CRecordedDevice* pDevice)
{
    CRecordedDevice& device = *pDevice;
    device.strName = strName;
    if (device.strName.isEmpty())
        return QStringLiteral("a device without a name");
    device.nRow = fields.row.Int();
    device.variables = std::move(fields.variables);
    if (fields.strVerdict == QLatin1String("script-error"))
        device.state = CRecordedDevice::EState::ScriptError;
    else if (fields.strVerdict == QLatin1String("not-run"))
        device.state = CRecordedDevice::EState::NotRun;
    const QString strRunProblem = FinishRun(fields);
    if (!strRunProblem.isEmpty())
        return QStringLiteral("device %1: %2").arg(device.strName, strRunProblem);
    device.run = std::move(fields.run);
    if (device.state == CRecordedDevice::EState::ScriptError)
        device.run.verdict.bPass = false;
    return QString();
}

// The shard fields of a fleet report: all of them or none (an older report).
struct CShardFields {
    int nPresent = 0;
    CNumber index, count, rows;
    QString strScriptSha256, strDevicesSha256;

    bool Member(CJsonScanner& scan, std::string_view key, bool* pOk)
    {
        if (key == "shard")
            *pOk = index.Read(scan);
        else if (key == "shards")
            *pOk = count.Read(scan);
        else if (key == "device_rows")
            *pOk = rows.Read(scan);
        else if (key == "script_sha256")
            *pOk = ReadText(scan, &strScriptSha256);
        else if (key == "devices_sha256")
            *pOk = ReadText(scan, &strDevicesSha256);
        else
            return false;
        ++nPresent;
        return true;
    }

    bool Finish(CFleetShard* pShard, QString* pProblem) const
    {
        if (nPresent == 0)
            return true;
        CFleetShard shard;
        shard.nIndex = index.Int();
        shard.nCount = count.Int();
        shard.nRows = rows.Int();
        shard.strScriptSha256 = strScriptSha256;
        shard.strDevicesSha256 = strDevicesSha256;
        static const QRegularExpression sha256(QStringLiteral("^[0-9a-f]{64}$"));
        if (nPresent != 5 || shard.nIndex < 1 || shard.nIndex > shard.nCount || shard.nRows < 1 ||
            !sha256.match(shard.strScriptSha256).hasMatch() || !sha256.match(shard.strDevicesSha256).hasMatch()) {
            *pProblem = QStringLiteral("its shard, shards, device_rows, script_sha256 and devices_sha256 are not all "
                                       "there or not valid");
            return false;
        }
        *pShard = shard;
        return true;
    }
};

}  // namespace

bool ReadFleetJson(std::string_view json, const QString& strSingleName, CRecordedFleet* pFleet, QString* pProblem,
                   const RequestsRead& onRequests)
{
    CRecordedFleet& fleet = *pFleet;
    fleet = CRecordedFleet();
    CJsonScanner scan(json);
    CRunFields top;  // the report's own members: one run's, or the fleet's verdict and exit code
    top.pOnRequests = &onRequests;
    CShardFields shard;
    QString strScript;
    bool bScript = false, bFleet = false;
    CNumber threshold;
    QString strDeviceProblem;  // the first device that cannot be read
    {
        scan.Object([&](std::string_view key) {
            bool bOk = true;
            if (key == "script")
                return ReadText(scan, &strScript, &bScript);
            if (key == "threshold_ms")
                return threshold.Read(scan);
            if (shard.Member(scan, key, &bOk) || RunMember(scan, key, &top, &bOk))
                return bOk;
            if (key == "devices" && scan.Peek() == '[') {
                bFleet = true;
                return scan.Array([&] {
                    if (!strDeviceProblem.isEmpty())
                        return scan.Skip();
                    CRunFields fields;
                    bool bRead = true;
                    if (scan.Peek() == '{')
                        bRead = scan.Object([&](std::string_view deviceKey) {
                            bool bDeviceOk = true;
                            if (deviceKey == "name")
                                return ReadText(scan, &fields.strName);
                            if (deviceKey == "row")
                                return fields.row.Read(scan);
                            if (deviceKey == "variables")
                                return ReadVariables(scan, &fields.variables);
                            if (RunMember(scan, deviceKey, &fields, &bDeviceOk))
                                return bDeviceOk;
                            return scan.Skip();
                        });
                    else
                        bRead = scan.Skip();
                    if (!bRead)
                        return false;
                    fleet.devices.emplace_back();
                    strDeviceProblem = DeviceOf(fields, fields.strName, &fleet.devices.back());
                    return true;
                });
            }
            return scan.Skip();
        });
    }
    scan.End();
    if (scan.Failed()) {
        *pProblem = QStringLiteral("not JSON (%1)").arg(scan.Error());
        return false;
    }
    if (!bScript || !threshold.bIs) {
        *pProblem = QStringLiteral("not a velkor-cli JSON report (no script or threshold_ms)");
        return false;
    }
    fleet.strScript = strScript;
    fleet.nThresholdMs = threshold.Int();
    if (!bFleet) {
        fleet.devices.clear();
        fleet.devices.emplace_back();
        const QString strRunProblem = DeviceOf(top, strSingleName, &fleet.devices.back());
        if (!strRunProblem.isEmpty()) {
            *pProblem = strRunProblem;
            return false;
        }
        fleet.bSingleRun = true;
    } else if (!strDeviceProblem.isEmpty()) {
        *pProblem = strDeviceProblem;
        return false;
    } else if (!shard.Finish(&fleet.shard, pProblem)) {
        return false;
    }
    for (CRecordedDevice& device : fleet.devices) {
        device.run.start.strScript = fleet.strScript;
        device.run.start.nThresholdMs = fleet.nThresholdMs;
    }
    if (top.bPartial)
        for (CRecordedDevice& device : fleet.devices)
            if (device.state == CRecordedDevice::EState::NotRun)
                device.bKeptFromStarting = true;
    fleet.verdict.bPass = top.strVerdict == QLatin1String("pass");
    fleet.nExitCode = top.exitCode.Int();
    return true;
}

bool ReadFleetJson(const QByteArray& json, const QString& strSingleName, CRecordedFleet* pFleet, QString* pProblem)
{
    return ReadFleetJson(std::string_view(json.constData(), std::size_t(json.size())), strSingleName, pFleet,
                         pProblem);
}

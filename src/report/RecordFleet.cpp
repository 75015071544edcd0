#include "RecordFleet.h"

#include <QCryptographicHash>

namespace {

// The exit code of a script that failed to parse.
constexpr int kScriptErrorExit = 2;

}  // namespace

CRecordedFleet RecordFleet(const CFleetRunner& runner, const FleetReports& reports, const QStringList& columns,
                           const QString& strScript, int nThresholdMs, int nExitCode, bool bWithRuns)
{
    CRecordedFleet fleet;
    fleet.strScript = strScript;
    fleet.nThresholdMs = nThresholdMs;
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        const SDevice& device = runner.Device(i);
        CRecordedDevice& one = fleet.devices.emplace_back();
        one.strName = device.strName;
        one.nRow = device.nRow;
        for (const QString& strColumn : columns)
            if (strColumn != QLatin1String("password"))
                one.variables.append({strColumn, device.variables.value(strColumn)});
        switch (runner.State(i)) {
        case CFleetRunner::EState::ScriptError:
            one.state = CRecordedDevice::EState::ScriptError;
            break;
        case CFleetRunner::EState::Done:
        case CFleetRunner::EState::Running:
            break;
        case CFleetRunner::EState::Waiting:
        case CFleetRunner::EState::NotRun:
            one.state = CRecordedDevice::EState::NotRun;
            break;
        }
        if (bWithRuns)
            one.run = reports[i]->recorder.Snapshot();
        one.run.start.strScript = strScript;
        one.run.start.nThresholdMs = nThresholdMs;
        one.run.verdict = runner.Verdict(i);
        one.run.nExitCode = one.state == CRecordedDevice::EState::ScriptError ? kScriptErrorExit
                                                                             : one.run.verdict.nExitCode;
    }
    FinishFleet(fleet);
    fleet.nExitCode = nExitCode;
    return fleet;
}
QString Sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

CFleetShard ShardOfList(int nIndex, int nCount, int nRows, const QStringList& scriptLines,
                        const QByteArray& listContent)
{
    return {nIndex, nCount, nRows, Sha256Hex(scriptLines.join(QLatin1Char('\n')).toUtf8()), Sha256Hex(listContent)};
}

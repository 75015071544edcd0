#include "CliMerge.h"

#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliFleetOptions.h"
#include "log/ControlPictures.h"
#include "report/CFleetReport.h"
#include "report/CHtmlReport.h"
#include "report/CJsonReport.h"
#include "report/CJUnitReport.h"
#include "report/CReportFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// How many rows shard K of N of a list of nRows holds: those whose number
// modulo N is K - 1.
int RowsInShard(const CFleetShard& shard)
{
    int nRows = 0;
    for (int nRow = 1; nRow <= shard.nRows; ++nRow)
        nRows += InShard(std::size_t(nRow), shard.nIndex, shard.nCount) ? 1 : 0;
    return nRows;
}

// Whether the reports are one whole run: every shard of one list and one
// script, each once, or reports of single runs alone (which name no list).
bool CheckMergeSet(const QStringList& inputs, const std::vector<CRecordedFleet>& parts, QString* pProblem)
{
    const CRecordedFleet& first = parts[0];
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        const CRecordedFleet& part = parts[std::size_t(i)];
        const QString& strInput = inputs[i];
        if (!part.bSingleRun && !part.shard.IsKnown()) {
            *pProblem = QStringLiteral("the report %1 does not say which shard of which device list it holds "
                                       "(it was written by an older velkor-cli), so no merge can tell whether "
                                       "a shard is missing; run the shards again")
                            .arg(strInput);
            return false;
        }
        if (part.bSingleRun != first.bSingleRun) {
            *pProblem = QStringLiteral("the report %1 is of %2, %3 of %4; a merge takes the shards of one run over "
                                       "a device list, or reports of single runs")
                            .arg(strInput, part.bSingleRun ? QStringLiteral("a single run") : QStringLiteral("a device list"),
                                 inputs[0], first.bSingleRun ? QStringLiteral("a single run") : QStringLiteral("a device list"));
            return false;
        }
        const bool bOtherScript = part.bSingleRun ? part.strScript != first.strScript
                                                  : part.shard.strScriptSha256 != first.shard.strScriptSha256;
        if (bOtherScript || part.nThresholdMs != first.nThresholdMs) {
            *pProblem = QStringLiteral("the report %1 is of another run than %2: %3")
                            .arg(strInput, inputs[0],
                                 bOtherScript ? QStringLiteral("another script (%1)")
                                                    .arg(part.bSingleRun ? QStringLiteral("'%1', not '%2'").arg(
                                                                               part.strScript, first.strScript)
                                                                         : QStringLiteral("its content differs"))
                                              : QStringLiteral("threshold %1 ms, not %2 ms")
                                                    .arg(part.nThresholdMs)
                                                    .arg(first.nThresholdMs));
            return false;
        }
        if (part.bSingleRun)
            continue;
        if (part.shard.strDevicesSha256 != first.shard.strDevicesSha256 || part.shard.nRows != first.shard.nRows) {
            *pProblem = QStringLiteral("the report %1 is of another device list than %2 (its content differs)")
                            .arg(strInput, inputs[0]);
            return false;
        }
        if (part.shard.nCount != first.shard.nCount) {
            *pProblem = QStringLiteral("the report %1 is shard %2 of %3, %4 is of %5 shards")
                            .arg(strInput)
                            .arg(part.shard.nIndex)
                            .arg(part.shard.nCount)
                            .arg(inputs[0])
                            .arg(first.shard.nCount);
            return false;
        }
        for (qsizetype j = 0; j < i; ++j)
            if (parts[std::size_t(j)].shard.nIndex == part.shard.nIndex) {
                *pProblem = QStringLiteral("the reports %1 and %2 are both shard %3 of %4")
                                .arg(inputs[j], strInput)
                                .arg(part.shard.nIndex)
                                .arg(part.shard.nCount);
                return false;
            }
        const int nExpected = RowsInShard(part.shard);
        const bool bRowsOk = std::all_of(part.devices.begin(), part.devices.end(), [&part](const CRecordedDevice& device) {
            return device.nRow >= 1 && device.nRow <= part.shard.nRows &&
                   InShard(std::size_t(device.nRow), part.shard.nIndex, part.shard.nCount);
        });
        if (!bRowsOk || qsizetype(part.devices.size()) != nExpected) {
            *pProblem = QStringLiteral("the report %1 holds %2 devices, not the %3 rows of shard %4 of %5 of a list "
                                       "of %6")
                            .arg(strInput)
                            .arg(part.devices.size())
                            .arg(nExpected)
                            .arg(part.shard.nIndex)
                            .arg(part.shard.nCount)
                            .arg(part.shard.nRows);
            return false;
        }
    }
    if (first.bSingleRun)
        return true;
    QStringList missing;
    for (int nIndex = 1; nIndex <= first.shard.nCount; ++nIndex)
        if (std::none_of(parts.begin(), parts.end(), [nIndex](const CRecordedFleet& part) { return part.shard.nIndex == nIndex; }))
            missing << QString::number(nIndex);
    if (!missing.isEmpty()) {
        *pProblem = QStringLiteral("%1 %2 of %3 missing: the reports hold %4 of the list's %5 devices")
                        .arg(missing.size() == 1 ? QStringLiteral("shard") : QStringLiteral("shards"),
                             missing.join(QStringLiteral(", ")))
                        .arg(first.shard.nCount)
                        .arg(std::accumulate(parts.begin(), parts.end(), std::size_t(0),
                                             [](std::size_t n, const CRecordedFleet& part) { return n + part.devices.size(); }))
                        .arg(first.shard.nRows);
        return false;
    }
    return true;
}

class CMergeCommand : public CliCommand {
public:
    ECliCommandBit Bit() const override { return kCliMerge; }
    QString Usage() const override { return Name() + QStringLiteral(" OUT IN"); }
    bool TakesMoreFiles() const override { return true; }
    QString Description() const override
    {
        return QStringLiteral(
            "Join the JSON reports IN... (of run --devices, of its shards, or of\n"
            "single runs) into one fleet report OUT: figures over all requests, and\n"
            "the worst device's verdict and exit code, which merge also exits with.\n"
            "Shard reports must be every shard of one script and device list, each\n"
            "once; anything else exits 8 and writes nothing.");
    }
    int Execute(const CliArguments& args, QTextStream& out, QTextStream& err) const override
    {
        Q_UNUSED(out);
        const QString strOut = args.File();
        const QStringList inputs = args.MoreFiles();
        if (inputs.isEmpty()) {
            err << "velkor-cli: merge takes the report to write and at least one JSON report to read\n"
                   "Try 'velkor-cli --help'."
                << Qt::endl;
            return kExitUsage;
        }
        const QString strJUnit = args.Value(ECliOption::JUnit);
        const QString strHtml = args.Value(ECliOption::Html);
        for (const QString& strInput : inputs) {
            for (const QString& strReport : {strOut, strJUnit, strHtml})
                if (!strReport.isEmpty() && strReport != QLatin1String("-") &&
                    QFileInfo(strReport).absoluteFilePath() == QFileInfo(strInput).absoluteFilePath()) {
                    err << "velkor-cli: the report " << strReport << " would replace the input " << strInput
                        << Qt::endl;
                    return kExitUsage;
                }
        }
        const QString strProblem = CReportFile::CheckPaths(QString(), {strOut, strJUnit, strHtml});
        if (!strProblem.isEmpty()) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }

        std::vector<CRecordedFleet> parts(std::size_t(inputs.size()));
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            const QString& strInput = inputs[i];
            QFile file(strInput);
            if (!file.open(QIODevice::ReadOnly)) {
                err << "velkor-cli: the report " << strInput << " cannot be read: " << file.errorString() << Qt::endl;
                return kExitUsage;
            }
            QString strReadProblem;
            if (!ReadFleetJson(file.readAll(), QFileInfo(strInput).completeBaseName(), &parts[std::size_t(i)],
                               &strReadProblem)) {
                err << "velkor-cli: the report " << strInput << " cannot be merged: " << strReadProblem << Qt::endl;
                return kExitUsage;
            }
        }
        QString strSetProblem;
        if (!CheckMergeSet(inputs, parts, &strSetProblem)) {
            err << "velkor-cli: " << strSetProblem << "; nothing merged" << Qt::endl;
            return kExitIncompleteSet;
        }

        // A report cut short (a CI time-out's SIGTERM) fails the merge with
        // its own code first: its devices did not all run to their end (one
        // marked partial with exit code 0 counts as requests not sent).
        QString strCutShort;
        int nCutShortExit = kExitOk;
        for (qsizetype i = 0; i < inputs.size() && strCutShort.isEmpty(); ++i) {
            const CRecordedFleet& part = parts[std::size_t(i)];
            if (part.IsPartial() || IsSignalExit(part.nExitCode)) {
                strCutShort = inputs[i];
                nCutShortExit = part.nExitCode != kExitOk ? part.nExitCode : int(kExitRequestFailed);
            }
        }

        CRecordedFleet fleet;
        fleet.strScript = parts[0].strScript;
        fleet.nThresholdMs = parts[0].nThresholdMs;
        if (parts[0].shard.IsKnown()) {
            // The whole list, as one run of it would have been.
            fleet.shard = parts[0].shard;
            fleet.shard.nIndex = 1;
            fleet.shard.nCount = 1;
        }
        QSet<QString> names;
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            for (CRecordedDevice& device : parts[std::size_t(i)].devices) {
                if (names.contains(device.strName)) {
                    err << "velkor-cli: the device '" << device.strName << "' of " << inputs[i]
                        << " is already in an earlier report" << Qt::endl;
                    return kExitUsage;
                }
                names.insert(device.strName);
                fleet.devices.push_back(std::move(device));
            }
        }
        // Shards hold every N-th row: the list's order again.
        if (std::all_of(fleet.devices.begin(), fleet.devices.end(), [](const CRecordedDevice& device) { return device.nRow > 0; }))
            std::stable_sort(fleet.devices.begin(), fleet.devices.end(),
                             [](const CRecordedDevice& a, const CRecordedDevice& b) { return a.nRow < b.nRow; });
        FinishFleet(fleet);
        if (!strCutShort.isEmpty()) {
            fleet.nExitCode = nCutShortExit;
            fleet.verdict.bPass = false;
            fleet.verdict.nExitCode = nCutShortExit;
        }

        bool bWritten = true;
        QString strError;
        const QString strVersion = QCoreApplication::applicationVersion();
        if (!CJsonReport::SaveFleet(strOut, fleet, strVersion, &strError)) {
            err << "velkor-cli: the report " << strOut << " was not written: " << strError << Qt::endl;
            bWritten = false;
        }
        if (!strJUnit.isEmpty() &&
            !CJUnitReport::SaveFleet(strJUnit, fleet,
                                     args.IsSet(ECliOption::JUnitEachRequest) ? CJUnitReport::ECases::PerRequest
                                                                              : CJUnitReport::ECases::PerLine,
                                     &strError)) {
            err << "velkor-cli: the report " << strJUnit << " was not written: " << strError << Qt::endl;
            bWritten = false;
        }
        if (!strHtml.isEmpty() && !CHtmlReport::SaveFleet(strHtml, fleet, strVersion, &strError)) {
            err << "velkor-cli: the report " << strHtml << " was not written: " << strError << Qt::endl;
            bWritten = false;
        }
        if (!bWritten)
            return kExitFileError;
        if (!strCutShort.isEmpty()) {
            const auto nCut = std::count_if(fleet.devices.begin(), fleet.devices.end(),
                                            [](const CRecordedDevice& device) { return device.IsCutShort(); });
            err << "velkor-cli: the merged run failed: the report " << strCutShort << " is of a run cut short (exit "
                << fleet.nExitCode << "); " << nCut << " of " << fleet.devices.size()
                << " devices did not run to their end" << Qt::endl;
        } else if (!fleet.verdict.bPass) {
            err << "velkor-cli: the merged run failed: " << ShowControlCharacters(fleet.verdict.Describe()) << Qt::endl;
        }
        return fleet.nExitCode;
    }
};

}  // namespace

const CliCommand& MergeCommand()
{
    static const CMergeCommand command;
    return command;
}

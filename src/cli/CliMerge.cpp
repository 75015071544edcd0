#include "CliMerge.h"

#include "CFleetReport.h"
#include "CHtmlReport.h"
#include "CJUnitReport.h"
#include "CJsonReport.h"
#include "CReportFile.h"
#include "CliCommand.h"
#include "CliExitCodes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <algorithm>

namespace {

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
            "the worst device's verdict and exit code, which merge also exits with.");
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

        CRecordedFleet fleet;
        QSet<QString> names;
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            const QString& strInput = inputs[i];
            QFile file(strInput);
            if (!file.open(QIODevice::ReadOnly)) {
                err << "velkor-cli: the report " << strInput << " cannot be read: " << file.errorString() << Qt::endl;
                return kExitUsage;
            }
            CRecordedFleet part;
            QString strReadProblem;
            if (!ReadFleetJson(file.readAll(), QFileInfo(strInput).completeBaseName(), &part, &strReadProblem)) {
                err << "velkor-cli: the report " << strInput << " cannot be merged: " << strReadProblem << Qt::endl;
                return kExitUsage;
            }
            if (i == 0) {
                fleet.strScript = part.strScript;
                fleet.nThresholdMs = part.nThresholdMs;
            } else if (part.strScript != fleet.strScript || part.nThresholdMs != fleet.nThresholdMs) {
                err << "velkor-cli: the report " << strInput << " is of another run (script '" << part.strScript
                    << "', threshold " << part.nThresholdMs << " ms) than " << inputs[0] << " (script '"
                    << fleet.strScript << "', threshold " << fleet.nThresholdMs << " ms)" << Qt::endl;
                return kExitUsage;
            }
            for (CRecordedDevice& device : part.devices) {
                if (names.contains(device.strName)) {
                    err << "velkor-cli: the device '" << device.strName << "' of " << strInput
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
        if (!fleet.verdict.bPass)
            err << "velkor-cli: the merged run failed: " << fleet.verdict.Describe() << Qt::endl;
        return fleet.nExitCode;
    }
};

}  // namespace

const CliCommand& MergeCommand()
{
    static const CMergeCommand command;
    return command;
}

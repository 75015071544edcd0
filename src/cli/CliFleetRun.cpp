#include "CliFleetRun.h"

#include "CFleetDevice.h"
#include "CFleetReport.h"
#include "CliFleetOutput.h"
#include "CHtmlReport.h"
#include "CJUnitReport.h"
#include "CJsonLinesWriter.h"
#include "CJsonReport.h"
#include "CReportFile.h"
#include "CRunRecorder.h"
#include "CSignalWatcher.h"
#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliRunSupport.h"
#include "CliFleetOptions.h"
#include "CliRun.h"
#include "CliVariables.h"
#include "script/DeviceList.h"
#include "engine/CRunEngine.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "platform/MonotonicClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// --jobs: 1 to kMaxFleetJobs in digits; without it every device at once.
bool ParseJobs(const CliArguments& args, std::size_t nDevices, int* pnJobs)
{
    if (!args.IsSet(ECliOption::Jobs)) {
        *pnJobs = int(std::min<std::size_t>(nDevices, kMaxFleetJobs));
        return true;
    }
    const QString strJobs = args.Value(ECliOption::Jobs);
    bool bOk = !strJobs.isEmpty() && std::all_of(strJobs.begin(), strJobs.end(), [](QChar ch) {
        return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
    });
    const int nJobs = bOk ? strJobs.toInt(&bOk) : 0;
    if (!bOk || nJobs < 1 || nJobs > kMaxFleetJobs)
        return false;
    *pnJobs = nJobs;
    return true;
}

}  // namespace

int RunFleet(const CliArguments& args, const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    if (!args.IsSet(ECliOption::Devices)) {
        if (args.IsSet(ECliOption::Shard))
            err << "velkor-cli: --shard goes with --devices\nTry 'velkor-cli --help'." << Qt::endl;
        else
            err << "velkor-cli: --jobs goes with --devices\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    int nShard = 1;
    int nShards = 1;
    if (args.IsSet(ECliOption::Shard) && !ParseShard(args.Value(ECliOption::Shard), &nShard, &nShards)) {
        err << "velkor-cli: --shard takes K/N, whole numbers with 1 <= K <= N (such as 2/4), not '"
            << args.Value(ECliOption::Shard) << "'\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    QStringList lines;
    QString strProblem;
    if (!ReadScriptLines(options.strFile, &lines, &strProblem)) {
        err << "velkor-cli: " << strProblem << Qt::endl;
        return kExitFileError;
    }
    SDeviceList list;
    if (!ReadDeviceList(args.Value(ECliOption::Devices), &list, &strProblem)) {
        err << "velkor-cli: " << strProblem << Qt::endl;
        return kExitUsage;
    }
    for (std::size_t i = 0; i < list.devices.size(); ++i)
        list.devices[i].nRow = int(i + 1);
    // Only this shard's devices run and are reported.
    if (nShards > 1) {
        std::vector<SDevice> shard;
        for (std::size_t i = 0; i < list.devices.size(); ++i)
            if (InShard(i + 1, nShard, nShards))
                shard.push_back(std::move(list.devices[i]));
        list.devices = std::move(shard);
    }
    int nJobs = 0;
    if (!ParseJobs(args, list.devices.size(), &nJobs)) {
        err << "velkor-cli: --jobs takes a number of devices, 1 to " << kMaxFleetJobs << " (digits only), not '"
            << args.Value(ECliOption::Jobs) << "'\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    if (const int nExit = CheckRunInputs(options, err); nExit != kExitOk)
        return nExit;
    if (!options.strLogDir.isEmpty()) {
        // Two names that read alike in a file name would share a file.
        QHash<QString, QString> fileParts;
        for (const SDevice& device : list.devices) {
            const QString strPart = DeviceFileNamePart(device.strName);
            if (fileParts.contains(strPart)) {
                err << "velkor-cli: the devices '" << fileParts.value(strPart) << "' and '" << device.strName
                    << "' would share the log file name part " << strPart << Qt::endl;
                return kExitUsage;
            }
            fileParts.insert(strPart, device.strName);
        }
    }
    const bool bReports =
        !options.strJsonFile.isEmpty() || !options.strJUnitFile.isEmpty() || !options.strHtmlFile.isEmpty();
    // One JSON Lines file for all devices, each record naming its device.
    CJsonLinesWriter jsonLinesFile;
    const bool bJsonLines = !options.strJsonLinesFile.isEmpty();
    if (bJsonLines) {
        QString strOpenError;
        if (!jsonLinesFile.Open(options.strJsonLinesFile, &strOpenError)) {
            err << "velkor-cli: the report " << options.strJsonLinesFile << " cannot be written: " << strOpenError
                << Qt::endl;
            return kExitUsage;
        }
    }
    QTextStream& logOut = LogStream(options, out, err);

    // Every device with its log and its script; a placeholder without a
    // value in any of them stops the run before it starts.
    std::mutex outMutex;
    std::vector<std::unique_ptr<CFleetDevice>> devices;
    bool bScriptError = false;
    for (const SDevice& row : list.devices) {
        auto pDevice = std::make_unique<CFleetDevice>(row);
        CFleetDevice& device = *pDevice;
        SetConsoleSink(device.log, options, logOut, outMutex, QStringLiteral("[%1] ").arg(device.device.strName));
        if (bJsonLines) {
            device.jsonLines.OpenDescriptor(jsonLinesFile.Descriptor());
            device.jsonLines.SetDevice(device.device.strName);
        }
        if (!options.strLogDir.isEmpty())
            device.log.SetLogFileSuffix(QLatin1Char('_') + DeviceFileNamePart(device.device.strName));
        // The row's values win over --variable and --variables-file.
        ScriptVariables variables = options.variables;
        variables.insert(device.device.variables);
        QStringList deviceLines = lines;
        if (!SubstituteCliScript(deviceLines, variables, device.log)) {
            device.state = CFleetDevice::EState::ScriptError;
            bScriptError = true;
        }
        CCommandFile::InsertLines(device.editCommand, deviceLines);
        devices.push_back(std::move(pDevice));
    }
    if (bScriptError) {
        err << "velkor-cli: a placeholder of the script has no value" << Qt::endl;
        return kExitScriptError;
    }

    // Many devices stamp their log lines at once. Without TZ the C library
    // takes the zone's name afresh for every local time, dropping and copying
    // it each time; naming the system's zone file keeps it once (the same
    // zone), before any worker starts.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));

    const QString strScriptName =
        options.strFile == QLatin1String("-") ? QString() : QFileInfo(options.strFile).fileName();
    CFleetControl control;
    CFleetSignals signalTarget(control);
    CSignalWatcher watcher(signalTarget);
    bool bEmpty = false;
    bool bNotStarted = false;
    bool bJsonLinesFailed = false;
    std::size_t nNext = 0;
    for (;;) {
        // Start devices while there is room.
        {
            std::lock_guard lock(control.m_mutex);
            while (!control.m_bStopping && !control.m_bAborting && nNext < devices.size() &&
                   control.m_running.size() < std::size_t(nJobs)) {
                CFleetDevice& device = *devices[nNext++];
                device.engine =
                    std::make_unique<CRunEngine>(device.editCommand, device.editLog, device.log, device.controls);
                CRunContext& context = device.engine->Context();
                context.m_strScriptName = strScriptName;
                context.m_listeners = {&device.verdict, &device.statistics};
                // The JSON Lines file's last record holds the fleet's figures.
                if (bReports || bJsonLines)
                    context.m_listeners.push_back(&device.recorder);
                if (bJsonLines)
                    context.m_listeners.push_back(&device.jsonLines);
                CRunSettings settings = options.settings;
                if (device.device.id)
                    settings.strId = *device.device.id;
                if (device.device.password)
                    settings.strPassword = *device.device.password;
                switch (device.engine->OnBnClickedSend(settings)) {
                case CRunEngine::ESendResult::Started:
                    device.state = CFleetDevice::EState::Running;
                    control.m_running.push_back(&device);
                    continue;
                case CRunEngine::ESendResult::NothingToRun:
                    bEmpty = true;
                    device.state = CFleetDevice::EState::ScriptError;
                    break;
                case CRunEngine::ESendResult::ParseFailed:
                    device.state = CFleetDevice::EState::ScriptError;
                    break;
                case CRunEngine::ESendResult::NeedLogFolder:
                case CRunEngine::ESendResult::AlreadyRunning:
                    bNotStarted = true;
                    device.state = CFleetDevice::EState::NotStarted;
                    break;
                }
                device.engine.reset();
            }
            if (control.m_running.empty() &&
                (nNext == devices.size() || control.m_bStopping || control.m_bAborting))
                break;
        }
        // Take in the devices whose run is over.
        std::vector<CFleetDevice*> finished;
        {
            std::lock_guard lock(control.m_mutex);
            for (auto it = control.m_running.begin(); it != control.m_running.end();) {
                if ((*it)->engine->WaitForRunEnd(0)) {
                    finished.push_back(*it);
                    it = control.m_running.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (CFleetDevice* pDevice : finished) {
            pDevice->engine->OnClose();
            pDevice->engine.reset();
            pDevice->state = CFleetDevice::EState::Done;
            if (bJsonLines) {
                const CRunVerdictSummary summary = pDevice->verdict.Summary();
                if (!pDevice->jsonLines.WriteSummary(pDevice->statistics.Snapshot(), summary, summary.nExitCode,
                                                     nullptr))
                    bJsonLinesFailed = true;
            }
        }
        if (finished.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    PrintDeviceTable(logOut, devices);

    bool bAnyScriptError = false;
    int nExit = FleetExitCode(devices, err, &bAnyScriptError);
    if (bEmpty)
        err << "velkor-cli: the command file " << options.strFile << " is empty" << Qt::endl;
    if (bNotStarted) {
        err << "velkor-cli: the run could not start" << Qt::endl;
        nExit = kExitUsage;
    }
    if (bAnyScriptError)
        nExit = kExitScriptError;
    nExit = ExitAfterSignal(watcher.EndingSignal(), nExit);

    CRecordedFleet fleet;
    if (bReports || bJsonLines || options.bQuiet)
        fleet = RecordFleet(devices, list.columns, strScriptName, options.settings.nThresholdMs, nExit,
                            bReports || bJsonLines);
    if (options.bQuiet)
        PrintFleetSummary(logOut, devices, fleet);
    const QString strVersion = QCoreApplication::applicationVersion();
    bool bWritten = SaveReports(
        options, err,
        {[&](const QString& strPath, QString* pError) { return CJsonReport::SaveFleet(strPath, fleet, strVersion, pError); },
         [&](const QString& strPath, QString* pError) {
             return CJUnitReport::SaveFleet(strPath, fleet,
                                            options.bJUnitEachRequest ? CJUnitReport::ECases::PerRequest
                                                                      : CJUnitReport::ECases::PerLine,
                                            pError);
         },
         [&](const QString& strPath, QString* pError) {
             return CHtmlReport::SaveFleet(strPath, fleet, strVersion, pError);
         }});
    if (bJsonLines) {
        QString strLinesError;
        if (!WriteFleetSummary(jsonLinesFile, fleet, &strLinesError) || bJsonLinesFailed) {
            err << "velkor-cli: the report " << options.strJsonLinesFile << " was not written whole: "
                << (strLinesError.isEmpty() ? QStringLiteral("a device's record failed") : strLinesError) << Qt::endl;
            bWritten = false;
        }
    }
    if (!bWritten && nExit == kExitOk)
        nExit = kExitFileError;
    SayEndingSignal(err, watcher.EndingSignal());
    return nExit;
}

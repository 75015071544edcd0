#include "CliFleetRun.h"

#include "CFleetSignals.h"
#include "CProgressLine.h"
#include "CRunProgress.h"
#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliFleetOptions.h"
#include "CliFleetOutput.h"
#include "CliRun.h"
#include "CliRunSupport.h"
#include "report/CFleetDeviceReports.h"
#include "report/CFleetReport.h"
#include "report/CHtmlReport.h"
#include "report/CJsonReport.h"
#include "report/CJUnitReport.h"
#include "report/RecordFleet.h"
#include "script/DeviceList.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

// The open-file limit in force after RaiseOpenFileLimit().
std::uint64_t g_nOpenFileLimit = 0;

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

// The devices a signal kept from starting (a Ctrl+C's Stop keeps them from
// starting too, but ends the run in order).
void MarkKeptFromStarting(CRecordedFleet& fleet, bool bSignalled)
{
    if (!bSignalled)
        return;
    for (CRecordedDevice& device : fleet.devices)
        if (device.state == CRecordedDevice::EState::NotRun)
            device.bKeptFromStarting = true;
}

}  // namespace

std::uint64_t RaiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return g_nOpenFileLimit = 0;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    g_nOpenFileLimit = limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : std::uint64_t(limit.rlim_cur);
    return g_nOpenFileLimit;
}

std::uint64_t FleetOpenFilesNeeded(int nJobs, bool bLogFiles)
{
    constexpr std::uint64_t kReserve = 64;  // standard streams, report files, the event loop's own
    return std::uint64_t(std::max(nJobs, 0)) * (bLogFiles ? 2 : 1) + kReserve;
}

int RunFleet(const CliArguments& args, const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    if (!args.IsSet(ECliOption::Devices)) {
        if (args.IsSet(ECliOption::Shard))
            err << "velkor-cli: --shard goes with --devices\nTry 'velkor-cli --help'." << Qt::endl;
        else if (args.IsSet(ECliOption::RampUp))
            err << "velkor-cli: --ramp-up goes with --devices\nTry 'velkor-cli --help'." << Qt::endl;
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
    QByteArray listContent;
    if (!ReadDeviceList(args.Value(ECliOption::Devices), &list, &strProblem, &listContent)) {
        err << "velkor-cli: " << strProblem << Qt::endl;
        return kExitUsage;
    }
    for (std::size_t i = 0; i < list.devices.size(); ++i)
        list.devices[i].nRow = int(i + 1);
    // Which part of which run the reports hold, for merge to check the set.
    const CFleetShard shardOfList = ShardOfList(nShard, nShards, int(list.devices.size()), lines, listContent);
    // Only this shard's devices run and are reported.
    if (nShards > 1) {
        std::vector<SDevice> shard;
        for (std::size_t i = 0; i < list.devices.size(); ++i)
            if (InShard(i + 1, nShard, nShards))
                shard.push_back(std::move(list.devices[i]));
        // A shard without a device would pass having run nothing, as an
        // empty list would.
        if (shard.empty()) {
            err << "velkor-cli: shard " << nShard << '/' << nShards << " of the device list "
                << args.Value(ECliOption::Devices) << " has no device: the list has " << list.devices.size()
                << (list.devices.size() == 1 ? " device" : " devices") << "\nTry 'velkor-cli --help'." << Qt::endl;
            return kExitUsage;
        }
        list.devices = std::move(shard);
    }
    int nJobs = 0;
    if (!ParseJobs(args, list.devices.size(), &nJobs)) {
        err << "velkor-cli: --jobs takes a number of devices, 1 to " << kMaxFleetJobs << " (digits only), not '"
            << args.Value(ECliOption::Jobs) << "'\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    // Devices that cannot open their connection would fail for want of a
    // file, not for the device: say so before any starts.
    const int nAtOnce = int(std::min<std::size_t>(std::size_t(nJobs), list.devices.size()));
    const std::uint64_t nFilesNeeded = FleetOpenFilesNeeded(nAtOnce, !options.strLogDir.isEmpty());
    if (g_nOpenFileLimit != 0 && nFilesNeeded > g_nOpenFileLimit) {
        err << "velkor-cli: " << nAtOnce << " devices at once need about " << qulonglong(nFilesNeeded)
            << " open files, but the limit is " << qulonglong(g_nOpenFileLimit)
            << " (ulimit -n); give a smaller --jobs or raise the limit\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    std::int64_t nRampUpMs = 0;
    if (args.IsSet(ECliOption::RampUp) && !CRunSettings::ParseDuration(args.Value(ECliOption::RampUp), &nRampUpMs)) {
        err << "velkor-cli: --ramp-up takes whole seconds, plain or with s, m or h (90s, 10m, 8h), not '"
            << args.Value(ECliOption::RampUp) << "'\nTry 'velkor-cli --help'." << Qt::endl;
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

    // One runner for the devices, as the window's device list has: each its
    // own engine, log (with its name before every line, and its own
    // auto-save file) and figures; the reports listen beside.
    std::mutex outMutex;
    CFleetRunner runner(
        [&logOut, &outMutex, bQuiet = options.bQuiet](const QString& strLine) {
            if (bQuiet)
                return;
            std::lock_guard lock(outMutex);
            logOut << QStringView(strLine).chopped(2) << Qt::endl;
        },
        [](std::size_t) {});
    std::vector<std::unique_ptr<CFleetDeviceReports>> reports;
    for (const SDevice& row : list.devices) {
        auto& pReports = reports.emplace_back(std::make_unique<CFleetDeviceReports>());
        if (bJsonLines) {
            pReports->jsonLines.OpenDescriptor(jsonLinesFile.Descriptor());
            pReports->jsonLines.SetDevice(row.strName);
        }
    }
    const QString strScriptName =
        options.strFile == QLatin1String("-") ? QString() : QFileInfo(options.strFile).fileName();
    CFleetRunner::SStart start;
    start.lines = lines;
    start.strScriptName = strScriptName;
    start.settings = options.settings;
    start.nJobs = nJobs;
    start.nRampUpMs = nRampUpMs;
    start.bAutoSave = !options.strLogDir.isEmpty();
    start.strLogFolder = options.strLogDir;
    start.variables = options.variables;
    // --progress: one status line for the whole fleet.
    CRunProgress progress(true);
    start.addListeners = [&](std::size_t nDevice, std::vector<IRunListener*>& listeners) {
        if (options.bProgress)
            listeners.push_back(&progress);
        // The JSON Lines file's last record holds the fleet's figures.
        if (bReports || bJsonLines)
            listeners.push_back(&reports[nDevice]->recorder);
        if (bJsonLines)
            listeners.push_back(&reports[nDevice]->jsonLines);
    };

    CFleetSignals signalTarget(runner);
    CSignalWatcher watcher(signalTarget);
    if (!runner.Start(list.devices, start)) {
        err << "velkor-cli: a placeholder of the script has no value" << Qt::endl;
        return kExitScriptError;
    }
    // Each device's JSON Lines summary as its run ends.
    bool bJsonLinesFailed = false;
    std::vector<bool> summarised(list.devices.size(), false);
    std::size_t nDoneSeen = 0;
    const auto summariseEnded = [&] {
        // A walk over the devices only when one more came to its end.
        if (runner.DoneCount() == nDoneSeen)
            return;
        nDoneSeen = runner.DoneCount();
        for (std::size_t i = 0; i < runner.Count(); ++i) {
            if (summarised[i] || runner.State(i) != CFleetRunner::EState::Done)
                continue;
            summarised[i] = true;
            const CRunVerdictSummary summary = runner.Verdict(i);
            if (bJsonLines &&
                !reports[i]->jsonLines.WriteSummary(runner.Statistics(i), summary, summary.nExitCode, nullptr))
                bJsonLinesFailed = true;
        }
    };
    std::optional<CProgressLine> progressLine;
    if (options.bProgress)
        progressLine.emplace(err, outMutex);
    while (runner.Poll()) {
        summariseEnded();
        if (progressLine && progressLine->Due())
            progressLine->Show(progress.FleetStatusLine(runner.Summary()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    summariseEnded();
    if (progressLine)
        progressLine->Finish(progress.FleetStatusLine(runner.Summary()));

    PrintDeviceTable(logOut, runner);

    bool bAnyScriptError = false;
    int nExit = FleetExitCode(runner, err, &bAnyScriptError);
    if (std::all_of(lines.begin(), lines.end(), [](const QString& strLine) { return strLine.trimmed().isEmpty(); }))
        err << "velkor-cli: the command file " << options.strFile << " is empty" << Qt::endl;
    if (bAnyScriptError)
        nExit = kExitScriptError;
    nExit = ExitAfterSignal(watcher.EndingSignal(), nExit);

    CRecordedFleet fleet;
    if (bReports || bJsonLines || options.bQuiet)
        fleet = RecordFleet(runner, reports, list.columns, strScriptName, options.settings.nThresholdMs, nExit,
                            bReports || bJsonLines);
    fleet.shard = shardOfList;
    MarkKeptFromStarting(fleet, watcher.EndingSignal() != 0);
    if (options.bQuiet)
        PrintFleetSummary(logOut, runner, fleet);
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
    if (!bWritten)
        nExit = ExitWithReportLost(nExit);
    SayEndingSignal(err, watcher.EndingSignal());
    return nExit;
}

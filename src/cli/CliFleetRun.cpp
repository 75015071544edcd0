#include "CliFleetRun.h"

#include "CSignalWatcher.h"
#include "CliCommand.h"
#include "CliExitCodes.h"
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

// One device of the run: its script, its boxes and log, its results.
struct CFleetDevice {
    explicit CFleetDevice(SDevice row) : device(std::move(row)), log(editLog) {}

    SDevice device;
    CMemoryTextBox editCommand;
    CMemoryTextBox editLog;
    CLogWriter log;
    CRunControlStates controls;
    CRunVerdict verdict;
    CRunStatistics statistics;
    std::unique_ptr<CRunEngine> engine;  // while it runs
    enum class EState { Waiting, Running, Done, ScriptError, NotStarted } state = EState::Waiting;
};

// The devices that run now, shared by the main thread (which starts and
// reaps them) and the signal watcher (which stops or aborts them).
class CFleetControl {
public:
    std::mutex m_mutex;
    std::vector<CFleetDevice*> m_running;  // guarded by m_mutex
    bool m_bStopping = false;              // guarded: no device starts any more
    bool m_bAborting = false;              // guarded: likewise, and the running ones were aborted
};

// The signals as CliRun takes them for one device, for all devices at once:
// Ctrl+C is "Stop" for every running device; another Ctrl+C while one of
// those stops has not been taken ends the process; SIGTERM and SIGHUP abort
// every device. No device starts after either.
class CFleetSignals : public ISignalTarget {
public:
    explicit CFleetSignals(CFleetControl& control) : m_control(control) {}
    bool Stop() override
    {
        std::lock_guard lock(m_control.m_mutex);
        const bool bStopWaiting =
            std::any_of(m_control.m_running.begin(), m_control.m_running.end(), [](CFleetDevice* pDevice) {
                return pDevice->engine->Context().m_hStopEvent.IsSet();
            });
        if (bStopWaiting)
            return false;
        m_control.m_bStopping = true;
        for (CFleetDevice* pDevice : m_control.m_running)
            pDevice->engine->OnBnClickedStop();
        return true;
    }
    void Abort() override
    {
        std::lock_guard lock(m_control.m_mutex);
        m_control.m_bAborting = true;
        for (CFleetDevice* pDevice : m_control.m_running)
            pDevice->engine->AbortRun();
    }

private:
    CFleetControl& m_control;
};

// The script's lines, from the file or standard input ("-").
bool ReadScript(const QString& strFile, QStringList* pLines, QString* pProblem)
{
    if (strFile != QLatin1String("-"))
        return CCommandFile::ReadLines(strFile, *pLines, *pProblem);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        *pProblem = QStringLiteral("standard input cannot be read: ") + input.errorString();
        return false;
    }
    *pLines = CCommandFile::SplitLines(input.readAll());
    return true;
}

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

// The verdict column of a device.
QString VerdictText(const CFleetDevice& device, const CRunVerdictSummary& summary)
{
    switch (device.state) {
    case CFleetDevice::EState::ScriptError:
        return QStringLiteral("script error");
    case CFleetDevice::EState::NotStarted:
    case CFleetDevice::EState::Waiting:
        return QStringLiteral("not run");
    case CFleetDevice::EState::Running:
    case CFleetDevice::EState::Done:
        break;
    }
    return summary.bPass ? QStringLiteral("pass") : QStringLiteral("fail (%1)").arg(summary.nExitCode);
}

// The table after the log: a row per device, in the list's order.
void PrintDeviceTable(QTextStream& out, const std::vector<std::unique_ptr<CFleetDevice>>& devices)
{
    const QStringList columns{QStringLiteral("name"),   QStringLiteral("requests"), QStringLiteral("ok"),
                              QStringLiteral("slow"),   QStringLiteral("timeout"),  QStringLiteral("failed"),
                              QStringLiteral("not sent"), QStringLiteral("median"), QStringLiteral("p95"),
                              QStringLiteral("max"),    QStringLiteral("verdict")};
    auto figure = [](std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); };
    std::vector<QStringList> rows{columns};
    for (const auto& pDevice : devices) {
        const CUrlStatistics total = pDevice->statistics.Total();
        rows.push_back({pDevice->device.strName, QString::number(total.nCount), QString::number(total.nOk),
                        QString::number(total.nSlow), QString::number(total.nTimeout), QString::number(total.nFailed),
                        QString::number(total.nNotSent), figure(total.nMedianMs), figure(total.nP95Ms),
                        figure(total.nMaxMs), VerdictText(*pDevice, pDevice->verdict.Summary())});
    }
    std::vector<qsizetype> widths(std::size_t(columns.size()), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    out << "\nDevices (times in ms)\n";
    for (const QStringList& row : rows) {
        QString strLine = row[0].leftJustified(widths[0]);
        for (qsizetype i = 1; i + 1 < row.size(); ++i)
            strLine += QLatin1Char(' ') + row[i].rightJustified(widths[std::size_t(i)]);
        strLine += QLatin1String("  ") + row.last();
        out << strLine << '\n';
    }
    out.flush();
}

}  // namespace

int RunFleet(const CliArguments& args, const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    if (!args.IsSet(ECliOption::Devices)) {
        err << "velkor-cli: --jobs goes with --devices\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    if (!options.strJsonFile.isEmpty() || !options.strJUnitFile.isEmpty() || !options.strHtmlFile.isEmpty()) {
        err << "velkor-cli: --json, --junit and --html report one device; with --devices the table at the end "
               "reports them all"
            << Qt::endl;
        return kExitUsage;
    }
    QStringList lines;
    QString strProblem;
    if (!ReadScript(options.strFile, &lines, &strProblem)) {
        err << "velkor-cli: " << strProblem << Qt::endl;
        return kExitFileError;
    }
    SDeviceList list;
    if (!ReadDeviceList(args.Value(ECliOption::Devices), &list, &strProblem)) {
        err << "velkor-cli: " << strProblem << Qt::endl;
        return kExitUsage;
    }
    int nJobs = 0;
    if (!ParseJobs(args, list.devices.size(), &nJobs)) {
        err << "velkor-cli: --jobs takes a number of devices, 1 to " << kMaxFleetJobs << " (digits only), not '"
            << args.Value(ECliOption::Jobs) << "'\nTry 'velkor-cli --help'." << Qt::endl;
        return kExitUsage;
    }
    if (!options.strLogDir.isEmpty()) {
        const QFileInfo dir(options.strLogDir);
        if (!dir.isDir() || !dir.isWritable()) {
            err << "velkor-cli: the log folder " << options.strLogDir << " does not exist or is not writable"
                << Qt::endl;
            return kExitUsage;
        }
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
    QString strCaProblem;
    const QString& strCaFile = options.settings.tls.strCaFile;
    if (!strCaFile.isEmpty() && !CTlsConnection::CheckCaFile(strCaFile, &strCaProblem)) {
        err << "velkor-cli: the certificate file " << strCaFile << " cannot be used: " << strCaProblem << Qt::endl;
        return kExitUsage;
    }

    // Every device with its log and its script; a placeholder without a
    // value in any of them stops the run before it starts.
    std::mutex outMutex;
    std::vector<std::unique_ptr<CFleetDevice>> devices;
    bool bScriptError = false;
    for (const SDevice& row : list.devices) {
        auto pDevice = std::make_unique<CFleetDevice>(row);
        CFleetDevice& device = *pDevice;
        const QString strPrefix = QStringLiteral("[%1] ").arg(device.device.strName);
        device.log.SetLineSink([&out, &outMutex, strPrefix](const QString& strLine) {
            std::lock_guard lock(outMutex);
            out << strPrefix << QStringView(strLine).chopped(2) << Qt::endl;
        });
        if (!options.strLogDir.isEmpty()) {
            device.log.SetAutoSave(true);
            device.log.SetLogFolder(QDir(options.strLogDir).absolutePath());
            device.log.SetLogFileSuffix(QLatin1Char('_') + DeviceFileNamePart(device.device.strName));
        }
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
        }
        if (finished.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    PrintDeviceTable(out, devices);

    // The worst verdict: a script error, then 3 before 5 before 6.
    int nExit = kExitOk;
    bool bAnyScriptError = false;
    for (const auto& pDevice : devices) {
        if (pDevice->state == CFleetDevice::EState::ScriptError) {
            bAnyScriptError = true;
            continue;
        }
        if (pDevice->state != CFleetDevice::EState::Done)
            continue;
        const CRunVerdictSummary summary = pDevice->verdict.Summary();
        if (!summary.bPass) {
            err << "velkor-cli: [" << pDevice->device.strName << "] the run failed: " << summary.Describe()
                << Qt::endl;
            if (nExit == kExitOk || summary.nExitCode < nExit)
                nExit = summary.nExitCode;
        }
    }
    if (bEmpty)
        err << "velkor-cli: the command file " << options.strFile << " is empty" << Qt::endl;
    if (bNotStarted) {
        err << "velkor-cli: the run could not start" << Qt::endl;
        nExit = kExitUsage;
    }
    if (bAnyScriptError)
        nExit = kExitScriptError;
    switch (watcher.EndingSignal()) {
    case SIGTERM:
        err << "velkor-cli: the run was ended by SIGTERM" << Qt::endl;
        return kExitTerminated;
    case SIGHUP:
        err << "velkor-cli: the run was ended by SIGHUP" << Qt::endl;
        return kExitHangUp;
    default:
        break;
    }
    return nExit;
}

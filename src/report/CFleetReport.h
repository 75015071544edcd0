#pragma once

#include "CRunRecorder.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <string_view>
#include <vector>

// One device of a run over a device list, as the fleet's reports read it.
struct CRecordedDevice {
    enum class EState { Ran, ScriptError, NotRun };

    QString strName;
    int nRow = 0;  // its data row in the device list, counted from 1; 0: unknown (one run's report)
    QList<QPair<QString, QString>> variables;  // its row's columns but the password, in the list's order
    EState state = EState::Ran;
    CRecordedRun run;  // its verdict and exit code filled in (a script error: exit code 2)
    // Not run because a signal ended the run over the list first.
    bool bKeptFromStarting = false;

    // "pass", "fail", "script-error" or "not-run".
    QString VerdictName() const;
    // Cut short: it ran and was ended before its end, or a signal kept it
    // from starting.
    bool IsCutShort() const { return (state == EState::Ran && run.IsPartial()) || bKeptFromStarting; }
};

// Which part of which run a fleet report holds: shard nIndex of nCount of a
// device list of nRows devices, with the SHA-256 (hex) of the script as run
// (before its placeholders are filled in) and of the list's bytes. nCount 0:
// not known (a report written before these were recorded).
struct CFleetShard {
    int nIndex = 0;
    int nCount = 0;
    int nRows = 0;
    QString strScriptSha256;
    QString strDevicesSha256;

    bool IsKnown() const { return nCount > 0; }
};

// A run over a device list: every device reported, in the list's order.
struct CRecordedFleet {
    QString strScript;     // the command file's name ("" for a typed script)
    int nThresholdMs = 0;
    CFleetShard shard;     // not known for a single run's report
    bool bSingleRun = false;  // read back from the report of one run (not of a device list)
    std::vector<CRecordedDevice> devices;
    // Filled in by the runner (or by FinishFleet): the fleet's verdict over
    // all requests and the exit code it gives.
    CRunVerdictSummary verdict;
    int nExitCode = 0;

    bool IsPartial() const;
    // The devices that never ran (a stop came before their turn).
    std::size_t NotRunCount() const;
};

// Every device's requests and CheckAlive waits as one run: the targets and
// reasons joined, each request's time since its own device's start moved to
// the time since the earliest start. bByLine: one target per script line
// ("line N: TARGET"), for a chart whose series do not grow with the fleet.
// pDeviceOf, when given, gets each joined request's device (its place in
// fleet.devices).
CRecordedRun JoinedRun(const CRecordedFleet& fleet, bool bByLine = false, std::vector<int>* pDeviceOf = nullptr);

// The statistics of a run joined by line, one entry per script line in the
// script's order (not in the order the lines were first requested); each
// entry's line in *pLines.
CRunStatisticsSnapshot LineStatisticsOf(const CRecordedRun& joinedByLine, std::vector<int>* pLines = nullptr);

// The worst exit code of the devices: a script error (2), then a failed
// request or a device that never ran (3), then a slow one (5), then an error
// status (6); 0 when every device passed.
int WorstExitCode(const CRecordedFleet& fleet);

// The fleet's verdict from its devices' (the counts summed, the first
// failures of the devices in order; a device with a script error or that
// never ran fails it) and its exit code by WorstExitCode.
void FinishFleet(CRecordedFleet& fleet);

// Reads a JSON report of a run over devices, or of one run (then one device
// named strSingleName). False, with a message, when it is not one. A
// report marked partial keeps its devices that did not run as kept from
// starting.
// The text is scanned once, each request recorded as it is read: no tree of
// the document is built.
//
// onRequests, when given, sees the requests of a report of one run while it
// is read, on the reading thread: called with the run as read so far and
// its count of requests every kRequestsPerCall requests and once at the end
// of its requests (never for a fleet's devices). A request once counted is
// not changed again. A report that turns out damaged or a fleet's is still
// refused or read as without it: the caller keeps what it saw only when the
// reading succeeds with a single run.
using RequestsRead = std::function<void(const CRecordedRun& run, std::size_t nRequests)>;
inline constexpr std::size_t kRequestsPerCall = 32768;
bool ReadFleetJson(std::string_view json, const QString& strSingleName, CRecordedFleet* pFleet, QString* pProblem,
                   const RequestsRead& onRequests = {});
bool ReadFleetJson(const QByteArray& json, const QString& strSingleName, CRecordedFleet* pFleet, QString* pProblem);

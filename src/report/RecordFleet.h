#pragma once

#include "CFleetDeviceReports.h"
#include "CFleetReport.h"
#include "engine/CFleetRunner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A run over a device list as the reports read it, taken from the runner
// once the run is over: velkor-cli's run --devices and the window's Devices
// window both make their fleet reports through it.

// What is kept of each device beside the runner, in the runner's order.
using FleetReports = std::vector<std::unique_ptr<CFleetDeviceReports>>;

// The fleet as the reports read it; bWithRuns: each device's recorded run
// (the recorders were listening). A device whose script had an error gives
// exit code 2; nExitCode is the fleet's.
CRecordedFleet RecordFleet(const CFleetRunner& runner, const FleetReports& reports, const QStringList& columns,
                           const QString& strScript, int nThresholdMs, int nExitCode, bool bWithRuns);

// The SHA-256 of some bytes in lower-case hex, as the fleet report names a
// script and a device list by.
QString Sha256Hex(const QByteArray& bytes);

// Shard nIndex of nCount of a list of nRows devices whose bytes are
// listContent, run with the script lines (before their placeholders are
// filled in).
CFleetShard ShardOfList(int nIndex, int nCount, int nRows, const QStringList& scriptLines,
                        const QByteArray& listContent);

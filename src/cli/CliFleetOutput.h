#pragma once

#include "engine/CFleetRunner.h"
#include "report/CFleetDeviceReports.h"
#include "report/CFleetReport.h"
#include "report/RecordFleet.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTextStream;

// What a run over a device list gives at its end: the devices table, the
// exit code, the recorded fleet for the reports, the --quiet summary and the
// JSON Lines file's last record.

// The table after the log: a row per device, in the list's order.
void PrintDeviceTable(QTextStream& out, const CFleetRunner& runner);

// The worst verdict of the devices that ran: 3 before 5 before 6 (kExitOk
// when all passed), each failed device named on err. *pbScriptError: a
// device's script had an error.
int FleetExitCode(const CFleetRunner& runner, QTextStream& err, bool* pbScriptError);

// --quiet's line: "Summary: 4 devices, 80 requests (ok 78, ...), verdict fail".
void PrintFleetSummary(QTextStream& out, const CFleetRunner& runner, const CRecordedFleet& fleet);

// The JSON Lines file's last record: the fleet's figures over every device.
bool WriteFleetSummary(CJsonLinesWriter& file, const CRecordedFleet& fleet, QString* pError);

#pragma once

#include "CRunRecorder.h"

#include <QString>

class QIODevice;
struct CRecordedFleet;

// The requests of a recorded run as CSV (RFC 4180, UTF-8, CRLF line ends),
// for a spreadsheet: a header row, then one row per request in the order
// they were made, with the JSON report's fields of a request:
//   index, pass, line, url, host, port, status, time_ms, time_us, at_ms,
//   outcome, verdict, check_failed, reason
// (status, time_us and reason empty when there is none). The CSV of a run
// over a device list has a device column first and every device's
// requests, in the list's order. The run's other parts (its waits,
// statistics and verdict) are in the JSON and HTML reports.
class CCsvReport {
public:
    static bool Write(QIODevice& device, const CRecordedRun& run);
    static bool WriteFleet(QIODevice& device, const CRecordedFleet& fleet);
    // Written as CReportFile::Write does; on failure *pError says why.
    static bool Save(const QString& strPath, const CRecordedRun& run, QString* pError = nullptr);
    static bool SaveFleet(const QString& strPath, const CRecordedFleet& fleet, QString* pError = nullptr);
};

#pragma once

#include "CRunRecorder.h"

#include <QString>

class QIODevice;
struct CRecordedFleet;

// The HTML report of a run: one self-contained page (no network, no external
// script, style or font) for people to open from a CI job or keep:
//   the run's header   script, start, slow threshold, requests, verdict with
//                      its reason, exit code, whether the run was cut short
//   response times     an inline SVG chart of every URL's response times over
//                      the run with the threshold; long runs are drawn per
//                      column (min to max, and the mean), failures marked at
//                      the top of the column they fell in
//   distribution       a histogram of the response times, with the timeouts,
//                      failures and requests not sent as bars of their own
//   statistics         the figures of each URL and of the whole run, as the
//                      JSON report's stats and stats_total give them
//   reboot times       each CheckAlive line's downtimes (min, median, max) and
//                      every wait: when, how long, how many attempts, and
//                      whether the device came back or the wait was stopped
//   failures           every request that failed the run, with its reason
// Tables sort by a click on their heading (a small inline script; the page
// reads the same without it). The layout fits a phone and a wide screen and
// prints on paper.
// The page of a run over a device list has the same header (with the number
// of devices), then a sortable table of the devices (requests, outcomes,
// median, p95 and max, verdict), the charts and statistics over every
// device's requests per script line, and each device's chart and failures
// in a <details> block of its own, folded until opened.
class CHtmlReport {
public:
    // Writes the page to an open device; false when a write failed.
    static bool Write(QIODevice& device, const CRecordedRun& run, const QString& strVersion);
    // Writes the page to strPath as CReportFile::Write does.
    static bool Save(const QString& strPath, const CRecordedRun& run, const QString& strVersion,
                     QString* pError = nullptr);
    // The page of a run over devices, written and saved likewise.
    static bool WriteFleet(QIODevice& device, const CRecordedFleet& fleet, const QString& strVersion);
    static bool SaveFleet(const QString& strPath, const CRecordedFleet& fleet, const QString& strVersion,
                          QString* pError = nullptr);
};

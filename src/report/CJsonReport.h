#pragma once

#include "CRunRecorder.h"

#include <QString>

class QIODevice;
struct CRecordedFleet;
struct CUrlStatistics;

// The JSON report of a run, for CI and scripts: one object
//   velkor_version  the program's version
//   script          the command file's name ("" for a typed script)
//   started_at      the run's start, ISO 8601 local time with its offset
//                   (null when the run's start was not seen)
//   threshold_ms    the slow threshold
//   partial         true when the run was cut short (closing, SIGTERM) or
//                   its end never came; the figures then cover what ran
//   requests        one object per request, in order: index, pass (0 outside
//                   a While block), line, url, host, port (a number; the
//                   text as typed when it is not one; null when not sent),
//                   status (null unless a status line was read), time_ms,
//                   time_us (the same in microseconds),
//                   outcome ("ok", "slow", "timeout", "failed",
//                   "not-sent"), verdict ("pass", "fail"), reason (what its
//                   [HTTP], [TLS] or [AUTH] line said, or null)
//   checkalive      one object per CheckAlive wait, in order: kind
//                   ("checkalive"), index, pass, line, host, port, at_ms (its
//                   start since the run's), down_ms (from the first attempt
//                   to the accepted connection, or to the stop), down_us
//                   (the same in microseconds), attempts,
//                   stopped (ended before the device came back)
//   totals          http_ms, application_ms, while_repeat (null without a
//                   While block), stopped (a While block was ended by Stop);
//                   the totals are null when the run's end never came
//   stats           one object per URL, in the order each was first
//                   requested: url, count, ok, slow, timeout, failed,
//                   not_sent, min_ms, median_ms, p95_ms, p99_ms, max_ms,
//                   mean_ms, error_percent, requests_per_second, as
//                   CRunStatistics defines them (null when there is no figure)
//   stats_total     the same for the whole run, without url
//   verdict         the run's ("pass", "fail"), exit_code (the exit code it
//                   gives) and failed_requests, as the runner filled them in
// The report of a run over a device list (run --devices, merge) has the same
// head (started_at: the earliest device's start; partial: any device's),
// then the fleet's stats, one object per script line in the script's order
// (line first, url "line N: TARGET", then a URL's figures), and stats_total
// over every device's requests, its verdict (a device that failed, had a
// script error or never ran fails it), exit_code and failed_requests, which
// part of which run it holds (when known: shard and shards, its K of N, 1 and
// 1 for a whole list; device_rows, the devices of the whole list;
// script_sha256 and devices_sha256, the SHA-256 of the script as run and of
// the list),
//   not_run_devices how many devices never ran, and
//   devices         one object per device, in the list's order: name, row
//                   (its data row in the list, counted from 1), variables (its row's columns but the password, as an
//                   object), started_at, partial (also for a device that a
//                   signal kept from starting), then requests (each with
//                   at_ms, its start since the device's), checkalive, totals,
//                   stats, stats_total, verdict ("pass", "fail",
//                   "script-error", "not-run"), exit_code and
//                   failed_requests, as a run's report has them
class CJsonReport {
public:
    // Writes the report to an open device; false when a write failed.
    static bool Write(QIODevice& device, const CRecordedRun& run, const QString& strVersion);
    // Writes the report to strPath as CReportFile::Write does ("-": standard
    // output; a file is replaced whole or not at all; a device or FIFO is
    // written in place). On failure, *pError (when given) says why.
    static bool Save(const QString& strPath, const CRecordedRun& run, const QString& strVersion,
                     QString* pError = nullptr);
    // The report of a run over devices, written and saved likewise.
    static bool WriteFleet(QIODevice& device, const CRecordedFleet& fleet, const QString& strVersion);
    static bool SaveFleet(const QString& strPath, const CRecordedFleet& fleet, const QString& strVersion,
                          QString* pError = nullptr);

    // The report's parts, which the JSON Lines file shares: a request's
    // object (bKind: with "kind": "request" first), a CheckAlive wait's, the
    // totals (nulls when the end never came), the statistics of a URL or of
    // the run (bWithUrl false), and a JSON string.
    static QByteArray RequestObject(const CRecordedRequest& request, const CRecordedTarget& target,
                                    const QString* pReason, bool bKind);
    static QByteArray CheckAliveObject(const CCheckAliveResult& wait);
    static QByteArray TotalsObject(bool bEnded, const CRunEndInfo& end);
    static QByteArray StatsObject(const CUrlStatistics& statistics, bool bWithUrl);
    static QByteArray String(const QString& str);
};

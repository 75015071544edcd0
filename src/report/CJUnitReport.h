#pragma once

#include "CRunRecorder.h"

#include <QString>

class QIODevice;
struct CRecordedFleet;

// The JUnit XML report of a run, as CI systems read it:
//   <testsuites> holding one <testsuite> for the run: name (the command
//   file's name, "velkor" for a typed script), tests (the number of test
//   cases), failures (the failing test cases), errors (0), skipped (0), time
//   (the application total in seconds; the sum of the request times when the
//   run's end never came) and timestamp (local start time). Its <properties>
//   carry threshold_ms, partial, stopped and while_repeat; a partial report
//   also says so in <system-err>.
// A request fails when its verdict under the run's rules says so
// (CRecordedRequest::bPass): a timeout, a failed request, one not sent, and
// with the run's fail-on rules a slow one or a final status of 400 or above.
// The test cases come in one of two shapes:
//   PerLine (the default): one <testcase> per command line of the script, in
//     the order the lines were first requested, however many While passes
//     requested it, so the names are the same from build to build. name:
//     "line N: TARGET" (the request target as typed); classname: the script's
//     name and the server, "demo.cmf.cam-01:80"; time: the sum of its
//     requests' times. It fails when any of its requests failed: the
//     <failure>'s message counts them ("3 of 120 requests failed: 2 timeout,
//     1 failed"), its type names the first of those kinds, and its text lists
//     the first failing requests with their pass, status, outcome, time and
//     reason.
//   PerRequest: one <testcase> per request, in order: name (the URL),
//     classname (host:port), time (the response time); a failing request gets
//     a <failure> whose type is its kind and whose text carries the reason.
// After them, in both shapes, one <testcase> per CheckAlive line of the
// script: name "line N: CheckAlive(HOST:PORT)", classname the script's name
// and HOST:PORT, time the sum of its waits' downtimes; it fails (type
// "stopped") when a wait was stopped before the device came back, and lists
// the first such waits.
// A run over a device list gives one <testsuite> per device, in the list's
// order, named by the device and holding its cases as above (a device whose
// script had a placeholder without a value: one failing case "script"; a
// device cut short, by a signal while it ran or before it started: one
// failing case "run" of type "partial");
// <testsuites> counts them all, its time the longest device's.
// Times are in seconds with three decimals. Characters XML cannot carry
// (control characters other than tab, line feed and carriage return) are
// written as \xNN; others are escaped as usual.
class CJUnitReport {
public:
    enum class ECases { PerLine, PerRequest };

    // Writes the report to an open device; false when a write failed.
    static bool Write(QIODevice& device, const CRecordedRun& run, ECases cases = ECases::PerLine);
    // Writes the report to strPath as CReportFile::Write does ("-": standard
    // output; a file is replaced whole or not at all; a device or FIFO is
    // written in place). On failure, *pError (when given) says why.
    static bool Save(const QString& strPath, const CRecordedRun& run, ECases cases, QString* pError = nullptr);
    // The report of a run over devices, written and saved likewise.
    static bool WriteFleet(QIODevice& device, const CRecordedFleet& fleet, ECases cases = ECases::PerLine);
    static bool SaveFleet(const QString& strPath, const CRecordedFleet& fleet, ECases cases, QString* pError = nullptr);

    // str with the characters XML cannot carry replaced as described above.
    static QString XmlSafe(const QString& str);
};

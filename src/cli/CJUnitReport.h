#pragma once

#include "CRunRecorder.h"

#include <QString>

class QIODevice;

// The JUnit XML report of a run, as CI systems read it:
//   <testsuites> holding one <testsuite> for the run: name (the command
//   file's name, "velkor" for a typed script), tests, failures, errors (0),
//   skipped (0), time (the application total in seconds; the sum of the
//   request times when the run's end never came) and timestamp (local start
//   time). Its <properties> carry threshold_ms, partial, stopped and
//   while_repeat; a partial report also says so in <system-err>.
//   One <testcase> per request, in order: name (the URL), classname
//   (host:port), time (the response time in seconds). A timeout, a failed
//   request and one not sent get a <failure> whose type is the outcome's
//   name; a slow one only with bFailOnSlow.
// Characters XML cannot carry (control characters other than tab, line feed
// and carriage return) are written as \xNN; others are escaped as usual.
class CJUnitReport {
public:
    // Writes the report to an open device; false when a write failed.
    static bool Write(QIODevice& device, const CRecordedRun& run, bool bFailOnSlow);
    // Writes the report to strPath atomically: the file is replaced whole or
    // not at all. On failure, *pError (when given) says why.
    static bool Save(const QString& strPath, const CRecordedRun& run, bool bFailOnSlow, QString* pError = nullptr);

    // str with the characters XML cannot carry replaced as described above.
    static QString XmlSafe(const QString& str);
};

#pragma once

#include "CRunRecorder.h"

#include <QString>

#include <cstdint>
#include <vector>

// The JUnit report's test cases, made from a recorded run (see
// CJUnitReport.h for what they hold); the report writes them.
namespace JUnitCases {

// One test case as it is written: the failure is empty when it passed.
struct CCase {
    QString strName;
    QString strClassname;
    std::int64_t nTimeMs = 0;
    bool bFailed = false;
    QString strFailureType;
    QString strFailureMessage;
    QString strFailureText;
};

// PerRequest: one case per request.
std::vector<CCase> RequestCases(const CRecordedRun& run);
// PerLine: one case per command line (its line and target), in the order
// the lines were first requested.
std::vector<CCase> LineCases(const CRecordedRun& run);
// One case per CheckAlive line; it fails when a wait was stopped.
std::vector<CCase> CheckAliveCases(const CRecordedRun& run);

// Milliseconds as seconds with three decimals: 1234 -> "1.234".
QString Seconds(std::int64_t nMs);
// The script's name as the report names the run: "velkor" for a typed script.
QString ScriptName(const CRecordedRun& run);

}  // namespace JUnitCases

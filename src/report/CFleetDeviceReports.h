#pragma once

#include "CJsonLinesWriter.h"
#include "CRunRecorder.h"

// What velkor-cli keeps of each device of a run over a device list beside
// the runner's own figures: the recorded run for the reports, and its
// records in the JSON Lines file all devices share.
struct CFleetDeviceReports {
    CRunRecorder recorder;        // with --json, --junit, --html or --jsonl
    CJsonLinesWriter jsonLines;   // with --jsonl
};

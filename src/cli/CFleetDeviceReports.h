#pragma once

#include "CJsonLinesWriter.h"
#include "CRunRecorder.h"
#include "CSignalWatcher.h"
#include "engine/CFleetRunner.h"

// What velkor-cli keeps of each device of a run over a device list beside
// the runner's own figures: the recorded run for the reports, and its
// records in the JSON Lines file all devices share.
struct CFleetDeviceReports {
    CRunRecorder recorder;        // with --json, --junit, --html or --jsonl
    CJsonLinesWriter jsonLines;   // with --jsonl
};

// The signals as velkor-cli takes them for one device, for all devices at
// once: Ctrl+C is "Stop" for every running device; another Ctrl+C while one
// of those stops has not been taken ends the process; SIGTERM and SIGHUP
// abort every device. No device starts after either.
class CFleetSignals : public ISignalTarget {
public:
    explicit CFleetSignals(CFleetRunner& runner) : m_runner(runner) {}
    bool Stop() override { return m_runner.StopUnlessWaiting(); }
    void Abort() override { m_runner.AbortRunning(); }

private:
    CFleetRunner& m_runner;
};

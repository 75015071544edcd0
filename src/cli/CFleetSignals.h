#pragma once

#include "CSignalWatcher.h"
#include "engine/CFleetRunner.h"

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

#pragma once

#include "engine/CFleetRunner.h"

// The whole fleet's run as one: each device's requests and waits on the
// fleet's time axis (from the first device's start), in the order they
// started, numbered afresh.
CRunRecord::SCopy MergeFleetRecords(const CFleetRunner& runner);

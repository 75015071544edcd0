#pragma once

#include "engine/CFleetRunner.h"

#include <vector>

// The whole fleet's run as one: each device's requests and waits on the
// fleet's time axis (from the first device's start), in the order they
// started, numbered afresh; pDeviceOf, when given, gets each request's
// device (its place in the list).
CRunRecord::SCopy MergeFleetRecords(const CFleetRunner& runner, std::vector<int>* pDeviceOf = nullptr);

#pragma once

#include "CRunStatistics.h"
#include "script/CheckLines.h"

#include <QStringList>

#include <vector>

// Judges the run's requirements (Require lines, --require) once, at the
// run's end, from its statistics: p50, p95, p99 and max are response times in
// ms, errors is the share in % of requests that brought no response, rps the
// requests per second, count the requests. A requirement without "per url"
// or "for TEXT" reads the whole run; "per url" every URL on its own; "for
// TEXT" every URL that holds TEXT, on its own. A figure that cannot be had
// (no response to time, no URL holding TEXT) fails its requirement.
namespace RunRequirements {

// One reason per requirement (and URL) that does not hold:
// "required p99 < 300, got 412 ms", "required p99 < 300 per url, got 412 ms for URL".
QStringList Judge(const std::vector<CRequirement>& requirements, const CRunStatisticsSnapshot& statistics);

}  // namespace RunRequirements

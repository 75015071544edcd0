#pragma once

#include "CRunRecorder.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The two pictures of the HTML report, as inline SVG elements. Both are
// sized by a viewBox, so they scale with the page; every mark carries a
// <title> that a browser shows on hover.
namespace HtmlCharts {

// The colour of the n-th URL's series (and of its legend entry).
QString SeriesColour(std::size_t nUrl);

// Response time over the run, one series per URL in vecTargets order, the
// slow threshold as a dashed line, the requests without a response marked
// along the top and each CheckAlive wait as a band over its downtime. A URL with more responses than the plot has columns is drawn
// per column (a bar from the column's shortest to its longest time, and a line
// through the means), so the size of the picture does not grow with the run.
QByteArray ResponseTimeSvg(const CRecordedRun& run);

// How the response times are spread: bars over equal ranges of time, then
// one bar each for the requests that timed out, failed or were not sent.
QByteArray HistogramSvg(const CRecordedRun& run);

// How long the run went on: to the end of its last request or CheckAlive
// wait, in ms (at least 1).
std::int64_t RunSpanMs(const CRecordedRun& run);

// A time since the run's start for an axis or a table: "750 ms", "12.5 s",
// "4:05", "1:02:03".
QString RunTime(std::int64_t nMs, std::int64_t nSpanMs);

}  // namespace HtmlCharts

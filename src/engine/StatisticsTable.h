#pragma once

#include "CRunStatistics.h"

#include <QStringList>

// The statistics table as people read it, in one place for the results
// window, its CSV export and velkor-cli --stats: the column titles, and the
// cells of one row (a URL's figures, or the run's total). An empty cell means
// "no figure" (no response to time, no span to rate).
namespace StatisticsTable {

QStringList Columns();
QStringList Cells(const CUrlStatistics& figures, const QString& strName);
// Columns whose cells are numbers (right-aligned); the first is the name.
inline bool IsNumeric(int nColumn) { return nColumn > 0; }

}  // namespace StatisticsTable

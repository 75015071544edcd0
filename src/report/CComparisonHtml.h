#pragma once

#include "CComparisonReport.h"

// The HTML page of a comparison of two runs, self-contained (no file or
// network fetched): the two reports, the result, a table of every row with
// its real changes marked (and regressions beyond a bound), and per line the
// two runs' response-time distributions overlaid (each as its share of the
// line's responses, so runs of other lengths compare).
class CComparisonHtml {
public:
    static QByteArray Page(const CRunComparison& comparison, const CComparedRuns& runs, const QString& strVersion);
    static bool Save(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                     const QString& strVersion, QString* pError = nullptr);
};

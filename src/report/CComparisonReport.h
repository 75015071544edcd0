#pragma once

#include "CRunComparison.h"

#include <QString>

// What a comparison's reports say about the two runs besides the rows.
struct CComparedRuns {
    QString strBaseFile;
    QString strNewFile;
    QString strBaseVersion;  // the velkor_version each report names
    QString strNewVersion;
    QString strScript;       // NEW's
    int nExitCode = 0;       // what the comparison exits with
};

// The reports of a comparison of two runs (velkor-cli compare):
//   JSON   one object: velkor_version, base and new (file, velkor_version),
//          script, confidence, bounds (per figure, null when not checked),
//          rows (one per line, joined over the devices, then per device:
//          device (null for a joined row), line, url, presence ("both",
//          "base-only", "new-only"), base_requests, new_requests,
//          times_test (u, z, p, share, real), errors_test (p, exact, real),
//          and per figure p50_ms, p95_ms, p99_ms, error_percent,
//          requests_per_second: base, new, change (% for times and requests
//          per second, points for error %; null when not defined), real,
//          regression), base_only_devices, new_only_devices, missing, notes,
//          regressions (how many rows), result ("pass", "fail",
//          "not-checked" without a bound) and exit_code;
//   JUnit  one case per row found in both runs, failing on a regression
//          beyond a bound, and one per line or device of BASE that NEW lacks
//          (failing when bounds are checked, skipped otherwise); characters
//          XML cannot carry are written \xNN, as CJUnitReport writes them;
// (the HTML page: CComparisonHtml). Each is saved as CReportFile::Write saves ("-": standard output).
class CComparisonReport {
public:
    static bool SaveJson(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                         const QString& strVersion, QString* pError = nullptr);
    static bool SaveJUnit(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                          QString* pError = nullptr);

    // What a row's regression is: "p95 +25.0% (bound 10%), errors +2.00 pt (bound 1 pt)".
    static QString RegressionText(const CComparisonRow& row, const CCompareOptions& options);

    // A time in microseconds as milliseconds: "0.412", "12.5", "1350"; "-"
    // for none (-1).
    static QString Ms(double dUs);
    // A figure's value in one run: a time as Ms, error % "0.50%", requests
    // per second "41.2"; "-" for none.
    static QString Value(double dValue, ECompareFigure figure);
    // A figure's change: "+12.3%" (error %: "+0.50 pt"), "0%" for none,
    // "n/a" when it is not defined.
    static QString Change(const CFigureChange& change, ECompareFigure figure);
};

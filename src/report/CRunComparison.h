#pragma once

#include "CReportSamples.h"
#include "CompareTests.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// The figures a comparison sets side by side, in this order everywhere.
enum class ECompareFigure { P50, P95, P99, Errors, RequestsPerSecond };
inline constexpr std::size_t kCompareFigures = 5;

// "p50", "p95", "p99", "errors", "rps": the figure's name in bounds and reports.
const char* CompareFigureName(ECompareFigure figure);

// One figure of one row: its value in each run (times in microseconds,
// error % in percent, requests per second; -1 when the run has none), its
// change (times and requests/s relative, in %; error % in points), whether
// the change is real rather than noise, and whether it is a real change for
// the worse beyond the bound set for the figure.
struct CFigureChange {
    double dBase = -1;
    double dNew = -1;
    double dChange = 0;
    bool bDefined = false;  // both values there (and a relative change's base above 0 or both 0)
    bool bReal = false;
    bool bWorse = false;    // the change goes the bad way (longer, more errors, fewer per second)
    bool bBeyond = false;   // real, worse and beyond the figure's bound
};

// One script line of one device (strDevice empty: every device joined), in
// both runs or in one only.
struct CComparisonRow {
    enum class EPresence { Both, BaseOnly, NewOnly };

    QString strDevice;
    int nLine = 0;
    QString strUrl;
    EPresence presence = EPresence::Both;
    std::uint64_t nBaseRequests = 0;
    std::uint64_t nNewRequests = 0;
    std::uint64_t nBaseTimed = 0;
    std::uint64_t nNewTimed = 0;
    CompareTests::CMannWhitney times;
    CompareTests::CProportions errors;
    bool bTimesReal = false;
    bool bErrorsReal = false;
    std::array<CFigureChange, kCompareFigures> figures;
    // Joined rows only: the two runs' responses over kHistogramBins equal
    // ranges of dBinUs each from 0, the last holding everything above.
    static constexpr std::size_t kHistogramBins = 40;
    double dBinUs = 0;
    std::vector<std::uint64_t> baseBins;
    std::vector<std::uint64_t> newBins;

    const CFigureChange& Figure(ECompareFigure figure) const { return figures[std::size_t(figure)]; }
    bool IsRegression() const;
    // "line 3" or "cam-02 line 3".
    QString Name() const;
};

struct CCompareOptions {
    double dConfidence = 0.95;
    // Per figure: the largest change for the worse that passes (times and
    // requests/s in %, error % in points); negative: not checked.
    std::array<double, kCompareFigures> bounds{-1, -1, -1, -1, -1};

    bool ChecksRegressions() const;
    // Reads the value of --fail-on-regression: "10%" (every figure), or
    // "p95=10%,errors=1%" (those figures); false with *pProblem otherwise.
    // Called once per value: later values add to and replace earlier ones.
    bool ParseBounds(const QString& strValue, QString* pProblem);
};

// Two runs of one script compared: BASE (the last good one) and NEW.
//
// Lines are paired by their script line number, devices by name. For each
// pair: the nearest-rank p50, p95 and p99 of the responses' times, error %
// and requests per second, as the run statistics define them, in both runs.
// Whether the times changed is decided by the Mann-Whitney U test (two-
// sided, normal approximation with tie correction) on the two runs' times;
// a percentile's change is real when the test finds a shift and the
// percentile moved the same way, and so is requests per second's (fewer per
// second with longer times, more with shorter). Error % is tested with the
// two-proportion z test, or Fisher's exact test when an expected count is
// below 5. The confidence level holds for the whole comparison (Holm's
// method over every test of every row), so many rows do not find changes by
// chance.
class CRunComparison {
public:
    static CRunComparison Compare(const CReportSamples& base, const CReportSamples& newer,
                                  const CCompareOptions& options);

    const CCompareOptions& Options() const { return m_options; }
    // The joined rows (every device's requests per line) first, in line
    // order, then for two fleet reports each device's rows, device by device.
    const std::vector<CComparisonRow>& Rows() const { return m_rows; }
    const QStringList& BaseOnlyDevices() const { return m_baseOnlyDevices; }
    const QStringList& NewOnlyDevices() const { return m_newOnlyDevices; }
    // What may make the comparison mean less: another script, a partial run.
    const QStringList& Notes() const { return m_notes; }

    // The rows with a real change beyond a bound.
    std::vector<const CComparisonRow*> Regressions() const;
    // What BASE has that NEW lacks (a line or a device): nothing to compare
    // it with, so a check of regressions cannot pass it.
    QStringList Missing() const;
    // Bounds set and (a regression, or something missing).
    bool Fails() const;

private:
    CCompareOptions m_options;
    std::vector<CComparisonRow> m_rows;
    QStringList m_baseOnlyDevices;
    QStringList m_newOnlyDevices;
    QStringList m_notes;
};

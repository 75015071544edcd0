#include "CRunComparison.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

const char* CompareFigureName(ECompareFigure figure)
{
    static const char* const kNames[] = {"p50", "p95", "p99", "errors", "rps"};
    return kNames[std::size_t(figure)];
}

bool CComparisonRow::IsRegression() const
{
    return std::any_of(figures.begin(), figures.end(), [](const CFigureChange& f) { return f.bBeyond; });
}

QString CComparisonRow::Name() const
{
    const QString strLine = QStringLiteral("line %1").arg(nLine);
    return strDevice.isEmpty() ? strLine : strDevice + QLatin1Char(' ') + strLine;
}

bool CCompareOptions::ChecksRegressions() const
{
    return std::any_of(bounds.begin(), bounds.end(), [](double d) { return d >= 0; });
}

bool CCompareOptions::ParseBounds(const QString& strValue, QString* pProblem)
{
    static const QRegularExpression percent(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)%$"));
    const auto parse = [](const QString& str, double* pValue) {
        const QRegularExpressionMatch match = percent.match(str.trimmed());
        if (!match.hasMatch())
            return false;
        *pValue = match.captured(1).toDouble();
        return true;
    };
    double dAll = 0;
    if (parse(strValue, &dAll)) {
        bounds.fill(dAll);
        return true;
    }
    for (const QString& strPart : strValue.split(QLatin1Char(','))) {
        const QString strName = strPart.section(QLatin1Char('='), 0, 0).trimmed();
        double dValue = 0;
        std::size_t nFigure = kCompareFigures;
        for (std::size_t i = 0; i < kCompareFigures; ++i)
            if (strName == QLatin1String(CompareFigureName(ECompareFigure(i))))
                nFigure = i;
        if (!strPart.contains(QLatin1Char('=')) || nFigure == kCompareFigures ||
            !parse(strPart.section(QLatin1Char('='), 1), &dValue)) {
            *pProblem = QStringLiteral("--fail-on-regression takes N% or FIGURE=N%,... with FIGURE p50, p95, p99, "
                                       "errors or rps, not '%1'")
                            .arg(strValue);
            return false;
        }
        bounds[nFigure] = dValue;
    }
    return true;
}

namespace {

// The row of a pair of lines (either may be missing); the tests' p values
// are judged later, over all rows.
CComparisonRow RowOf(const QString& strDevice, const CLineSamples* pBase, const CLineSamples* pNew, bool bHistogram)
{
    CComparisonRow row;
    row.strDevice = strDevice;
    row.nLine = (pBase ? pBase : pNew)->nLine;
    row.strUrl = (pNew ? pNew : pBase)->strUrl;
    row.presence = !pNew   ? CComparisonRow::EPresence::BaseOnly
                   : !pBase ? CComparisonRow::EPresence::NewOnly
                            : CComparisonRow::EPresence::Both;
    auto fill = [&row](const CLineSamples* pLine, bool bBase) {
        if (!pLine)
            return;
        (bBase ? row.nBaseRequests : row.nNewRequests) = pLine->nRequests;
        (bBase ? row.nBaseTimed : row.nNewTimed) = pLine->times.size();
        const double values[] = {double(pLine->Percentile(50)), double(pLine->Percentile(95)),
                                 double(pLine->Percentile(99)), pLine->ErrorPercent(), pLine->RequestsPerSecond()};
        for (std::size_t i = 0; i < kCompareFigures; ++i)
            (bBase ? row.figures[i].dBase : row.figures[i].dNew) = values[i];
    };
    fill(pBase, true);
    fill(pNew, false);
    if (!pBase || !pNew)
        return row;
    row.times = CompareTests::MannWhitney(pBase->times, pNew->times);
    row.errors = CompareTests::TwoProportions(pBase->nErrors, pBase->nRequests, pNew->nErrors, pNew->nRequests);
    if (bHistogram) {
        const double dTop = double(std::max(pBase->Percentile(99), pNew->Percentile(99)));
        row.dBinUs = std::max(1.0, std::ceil(dTop * 1.05 / double(CComparisonRow::kHistogramBins - 1)));
        auto bins = [&row](const std::vector<std::uint32_t>& times) {
            std::vector<std::uint64_t> counts(CComparisonRow::kHistogramBins, 0);
            for (const std::uint32_t t : times)
                ++counts[std::min(CComparisonRow::kHistogramBins - 1, std::size_t(double(t) / row.dBinUs))];
            return counts;
        };
        row.baseBins = bins(pBase->times);
        row.newBins = bins(pNew->times);
    }
    return row;
}

// The pairs of two devices' (or two runs') lines, in line order.
void AddRows(std::vector<CComparisonRow>& rows, const QString& strDevice, const std::vector<CLineSamples>& base,
             const std::vector<CLineSamples>& newer, bool bHistogram)
{
    std::size_t i = 0, j = 0;
    while (i < base.size() || j < newer.size()) {
        if (j >= newer.size() || (i < base.size() && base[i].nLine < newer[j].nLine)) {
            rows.push_back(RowOf(strDevice, &base[i++], nullptr, false));
        } else if (i >= base.size() || newer[j].nLine < base[i].nLine) {
            rows.push_back(RowOf(strDevice, nullptr, &newer[j++], false));
        } else {
            rows.push_back(RowOf(strDevice, &base[i++], &newer[j++], bHistogram));
        }
    }
}

// The figures' changes, once the tests have been judged.
void Judge(CComparisonRow& row, const CCompareOptions& options)
{
    const bool bLonger = row.times.dShare > 0.5;
    for (std::size_t i = 0; i < kCompareFigures; ++i) {
        CFigureChange& f = row.figures[i];
        const auto figure = ECompareFigure(i);
        if (row.presence != CComparisonRow::EPresence::Both || f.dBase < 0)
            continue;
        if (f.dNew < 0) {
            // Responses in BASE, none in NEW: the times are lost, which is
            // as real as the errors' change that lost them, and beyond any bound.
            f.dChange = figure == ECompareFigure::RequestsPerSecond ? -HUGE_VAL : HUGE_VAL;
            f.bWorse = true;
            f.bReal = row.bErrorsReal;
            f.bBeyond = options.bounds[i] >= 0 && f.bReal;
            continue;
        }
        if (figure == ECompareFigure::Errors) {
            f.bDefined = true;
            f.dChange = f.dNew - f.dBase;
            f.bWorse = f.dChange > 0;
            f.bReal = row.bErrorsReal && f.dChange != 0;
        } else {
            f.bDefined = f.dBase > 0 || f.dNew == 0;
            f.dChange = f.dBase > 0 ? 100.0 * (f.dNew - f.dBase) / f.dBase : 0;
            // A longer time is worse, and so are fewer requests per second;
            // either is real when the test finds the times longer.
            f.bWorse = figure == ECompareFigure::RequestsPerSecond ? f.dNew < f.dBase : f.dNew > f.dBase;
            f.bReal = row.bTimesReal && f.dNew != f.dBase && f.bWorse == bLonger;
            if (f.bDefined == false && f.dNew > 0) {
                // From nothing to something: beyond any bound.
                f.dChange = HUGE_VAL;
            }
        }
        const double dBound = options.bounds[i];
        const double dWorseBy = figure == ECompareFigure::RequestsPerSecond ? -f.dChange : f.dChange;
        f.bBeyond = dBound >= 0 && f.bReal && f.bWorse && dWorseBy > dBound;
    }
}

}  // namespace

CRunComparison CRunComparison::Compare(const CReportSamples& base, const CReportSamples& newer,
                                       const CCompareOptions& options)
{
    CRunComparison comparison;
    comparison.m_options = options;
    std::vector<CComparisonRow>& rows = comparison.m_rows;
    AddRows(rows, QString(), base.JoinedLines(), newer.JoinedLines(), true);
    if (base.bFleet && newer.bFleet) {
        QHash<QString, const CDeviceSamples*> newDevices;
        for (const CDeviceSamples& device : newer.devices)
            newDevices.insert(device.strName, &device);
        QSet<QString> baseNames;
        for (const CDeviceSamples& device : base.devices) {
            baseNames.insert(device.strName);
            const CDeviceSamples* pNew = newDevices.value(device.strName);
            if (!pNew)
                comparison.m_baseOnlyDevices << device.strName;
            else
                AddRows(rows, device.strName, device.lines, pNew->lines, false);
        }
        for (const CDeviceSamples& device : newer.devices)
            if (!baseNames.contains(device.strName))
                comparison.m_newOnlyDevices << device.strName;
    }
    // Every test of every row is one family for the confidence level.
    std::vector<double> p;
    for (const CComparisonRow& row : rows)
        if (row.presence == CComparisonRow::EPresence::Both) {
            p.push_back(row.times.dP);
            p.push_back(row.errors.dP);
        }
    const std::vector<bool> real = CompareTests::Holm(p, 1.0 - options.dConfidence);
    std::size_t k = 0;
    for (CComparisonRow& row : rows) {
        if (row.presence == CComparisonRow::EPresence::Both) {
            row.bTimesReal = real[k++];
            row.bErrorsReal = real[k++];
        }
        Judge(row, options);
    }
    if (base.strScript != newer.strScript)
        comparison.m_notes << QStringLiteral("the runs are of other scripts ('%1', '%2'): lines are paired by number")
                                  .arg(base.strScript, newer.strScript);
    if (base.bFleet != newer.bFleet)
        comparison.m_notes << QStringLiteral("one report is of a device list, the other of one run: only the lines "
                                             "over all devices are compared");
    if (base.bPartial || newer.bPartial)
        comparison.m_notes << QStringLiteral("%1 is of a run cut short: its figures cover what ran")
                                  .arg(base.bPartial && newer.bPartial ? QStringLiteral("each report")
                                       : base.bPartial                 ? QStringLiteral("BASE")
                                                                       : QStringLiteral("NEW"));
    return comparison;
}

std::vector<const CComparisonRow*> CRunComparison::Regressions() const
{
    std::vector<const CComparisonRow*> regressions;
    for (const CComparisonRow& row : m_rows)
        if (row.IsRegression())
            regressions.push_back(&row);
    return regressions;
}

QStringList CRunComparison::Missing() const
{
    QStringList missing;
    for (const CComparisonRow& row : m_rows)
        if (row.presence == CComparisonRow::EPresence::BaseOnly)
            missing << row.Name();
    for (const QString& strDevice : m_baseOnlyDevices)
        missing << QStringLiteral("device %1").arg(strDevice);
    return missing;
}

bool CRunComparison::Fails() const
{
    return m_options.ChecksRegressions() && (!Regressions().empty() || !Missing().isEmpty());
}

// The comparison of two runs' reports (velkor-cli compare): its tests'
// figures against worked examples, samples with a known shift and samples of
// one distribution, the bounds of --fail-on-regression, pairing devices, and
// the messages for reports that cannot be compared.

#include "report/CReportSamples.h"
#include "report/CRunComparison.h"
#include "report/CompareTests.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <random>

namespace {

constexpr char kVersion[] = "1.0.1.4";

// n requests of one script line with response times drawn from a log-normal
// spread (median dMedianUs, sigma 0.3), a share dErrors of them timed out;
// mt19937 and Box-Muller, so the samples are the same on every platform.
QByteArray Requests(int nLine, int n, double dMedianUs, double dErrors, unsigned nSeed)
{
    std::mt19937 random(nSeed);
    const auto uniform = [&random] { return (double(random()) + 1.0) / 4294967297.0; };
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        const double dNormal = std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
        const auto nUs = std::int64_t(dMedianUs * std::exp(0.3 * dNormal));
        const bool bError = uniform() < dErrors;
        out += QByteArray(out.isEmpty() ? "" : ",") + "{\"index\": " + QByteArray::number(i + 1) +
               ", \"line\": " + QByteArray::number(nLine) + ", \"url\": \"http://127.0.0.1:8080/httpapi/x" +
               QByteArray::number(nLine) + "\", \"time_ms\": " + QByteArray::number(nUs / 1000) +
               ", \"time_us\": " + QByteArray::number(nUs) + ", \"outcome\": \"" + (bError ? "timeout" : "ok") +
               "\", \"verdict\": \"" + (bError ? "fail" : "pass") + "\"}";
    }
    return out;
}

QByteArray RunReport(const QByteArray& requests, const QByteArray& version = kVersion)
{
    return "{\"velkor_version\": \"" + version + "\", \"script\": \"ptz.cmf\", \"threshold_ms\": 300, "
           "\"partial\": false, \"requests\": [" + requests + "], \"verdict\": \"pass\", \"exit_code\": 0}";
}

CReportSamples Read(const QByteArray& json)
{
    CReportSamples samples;
    QString strProblem;
    EXPECT_TRUE(CReportSampleReader::Read(std::string_view(json.constData(), std::size_t(json.size())),
                                          QString::fromLatin1(kVersion), &samples, &strProblem))
        << strProblem.toStdString();
    return samples;
}

TEST(CompareTests, MannWhitneyAndProportionsMatchWorkedExamples)
{
    // 1 2 3 against 4 5 6: U 9 of 9; z (9 - 4.5 - 0.5) / sqrt(9 / 12 * 7).
    CompareTests::CMannWhitney u = CompareTests::MannWhitney({1, 2, 3}, {4, 5, 6});
    EXPECT_DOUBLE_EQ(u.dU, 9);
    EXPECT_DOUBLE_EQ(u.dShare, 1);
    EXPECT_NEAR(u.dP, 0.0808556, 1e-6);
    // Ties: 1 2 2 3 against 2 3 3 4; ranks of the second 3 + 6 + 6 + 8 = 23,
    // U 13, tie sum 2 * (27 - 3), variance 16 / 12 * (9 - 48 / 56).
    u = CompareTests::MannWhitney({1, 2, 2, 3}, {2, 3, 3, 4});
    EXPECT_DOUBLE_EQ(u.dU, 13);
    EXPECT_NEAR(u.dZ, 1.365698, 1e-6);
    EXPECT_NEAR(u.dP, 0.172034, 1e-6);
    EXPECT_DOUBLE_EQ(CompareTests::MannWhitney({}, {1}).dP, 1);
    EXPECT_DOUBLE_EQ(CompareTests::MannWhitney({5, 5}, {5, 5, 5}).dP, 1);

    // Small counts: Fisher's exact test (the tea-tasting table 3 1 / 1 3).
    CompareTests::CProportions p = CompareTests::TwoProportions(3, 4, 1, 4);
    EXPECT_TRUE(p.bExact);
    EXPECT_NEAR(p.dP, 0.485714, 1e-6);
    // 50 and 80 of 1000: the pooled z test, z 2.7211.
    p = CompareTests::TwoProportions(50, 1000, 80, 1000);
    EXPECT_FALSE(p.bExact);
    EXPECT_NEAR(p.dP, 0.0065066, 1e-6);

    // Holm at 5%: ascending, the k-th smallest of m must be below 0.05 / (m - k + 1).
    EXPECT_EQ(CompareTests::Holm({0.04, 0.01, 0.02}, 0.05), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(CompareTests::Holm({0.01, 0.03, 0.026}, 0.05), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(CompareTests::Holm({0.02, 0.02, 0.04}, 0.05), (std::vector<bool>{false, false, false}));
}

// Two runs of 2000 requests on one line: a known shift (or error rate) is
// found, samples of one distribution are not, and the bounds decide the result.
TEST(CompareRuns, KnownShiftsAreFoundAndNoiseIsNot)
{
    struct CCase {
        const char* pszCase;
        double dNewMedianUs;
        double dBaseErrors, dNewErrors;
        unsigned nNewSeed;
        const char* pszBound;
        bool bP50Real, bRpsReal, bErrorsReal, bRegression;
    };
    const CCase cases[] = {
        {"one distribution", 20000, 0.01, 0.01, 2, "0%", false, false, false, false},
        {"one distribution, another seed", 20000, 0.01, 0.01, 3, "0%", false, false, false, false},
        {"5% slower, bound 2%", 21000, 0.01, 0.01, 2, "p50=2%", true, true, false, true},
        {"5% slower, bound 10%", 21000, 0.01, 0.01, 2, "p50=10%", true, true, false, false},
        {"5% slower, no bound on p50", 21000, 0.01, 0.01, 2, "errors=0%", true, true, false, false},
        {"10% faster", 18000, 0.01, 0.01, 2, "0%", true, true, false, false},
        {"errors 1% to 4%, bound 1 pt", 20000, 0.01, 0.04, 2, "errors=1%", false, false, true, true},
        {"errors 1% to 4%, bound 5 pt", 20000, 0.01, 0.04, 2, "errors=5%", false, false, true, false},
        // No response at all: the times are lost, beyond a bound on them alone.
        {"every request failed, bound on p95", 20000, 0.01, 1.0, 2, "p95=10%", true, false, true, true},
    };
    for (const CCase& c : cases) {
        const CReportSamples base = Read(RunReport(Requests(2, 2000, 20000, c.dBaseErrors, 1)));
        const CReportSamples newer = Read(RunReport(Requests(2, 2000, c.dNewMedianUs, c.dNewErrors, c.nNewSeed)));
        CCompareOptions options;
        QString strProblem;
        ASSERT_TRUE(options.ParseBounds(QString::fromLatin1(c.pszBound), &strProblem)) << c.pszCase;
        const CRunComparison comparison = CRunComparison::Compare(base, newer, options);
        ASSERT_EQ(comparison.Rows().size(), 1u) << c.pszCase;
        const CComparisonRow& row = comparison.Rows()[0];
        EXPECT_EQ(row.Figure(ECompareFigure::P50).bReal, c.bP50Real) << c.pszCase << " p=" << row.times.dP;
        // The requests follow one another: requests/s moves against the times.
        EXPECT_EQ(row.Figure(ECompareFigure::RequestsPerSecond).bReal, c.bRpsReal) << c.pszCase;
        EXPECT_EQ(row.Figure(ECompareFigure::Errors).bReal, c.bErrorsReal) << c.pszCase << " p=" << row.errors.dP;
        EXPECT_EQ(comparison.Fails(), c.bRegression) << c.pszCase;
        EXPECT_EQ(row.IsRegression(), c.bRegression) << c.pszCase;
    }
}

TEST(CompareRuns, BoundsAndTheirMistakes)
{
    CCompareOptions options;
    QString strProblem;
    EXPECT_FALSE(options.ChecksRegressions());
    ASSERT_TRUE(options.ParseBounds(QStringLiteral("10%"), &strProblem));
    EXPECT_EQ(options.bounds, (std::array<double, kCompareFigures>{10, 10, 10, 10, 10}));
    options = CCompareOptions();
    ASSERT_TRUE(options.ParseBounds(QStringLiteral("p95=10%,errors=1%"), &strProblem));
    ASSERT_TRUE(options.ParseBounds(QStringLiteral("rps=2.5%"), &strProblem));  // repeated: adds
    EXPECT_EQ(options.bounds, (std::array<double, kCompareFigures>{-1, 10, -1, 1, 2.5}));
    for (const char* pszBad : {"10", "p96=1%", "p95=10ms", "p95", "-5%", ""}) {
        EXPECT_FALSE(options.ParseBounds(QString::fromLatin1(pszBad), &strProblem)) << pszBad;
        EXPECT_TRUE(strProblem.startsWith(QStringLiteral("--fail-on-regression takes N% or FIGURE=N%"))) << pszBad;
    }
}

// Fleets pair devices by name; what BASE has and NEW lacks fails a check.
TEST(CompareRuns, FleetsPairDevicesAndListThoseOnOneSide)
{
    const auto fleet = [](const QList<QPair<QByteArray, QByteArray>>& devices) {
        QByteArray out = "{\"velkor_version\": \"1.0.1.4\", \"script\": \"ptz.cmf\", \"threshold_ms\": 300, "
                         "\"devices\": [";
        for (qsizetype i = 0; i < devices.size(); ++i)
            out += QByteArray(i ? "," : "") + "{\"name\": \"" + devices[i].first + "\", \"requests\": [" +
                   devices[i].second + "]}";
        return out + "], \"verdict\": \"pass\", \"exit_code\": 0}";
    };
    const CReportSamples base = Read(fleet({{"cam-01", Requests(2, 50, 1000, 0, 1)},
                                            {"cam-02", Requests(2, 50, 1000, 0, 2) + "," + Requests(3, 5, 1000, 0, 3)}}));
    const CReportSamples newer = Read(fleet({{"cam-02", Requests(2, 50, 1000, 0, 4)}, {"cam-03", Requests(2, 50, 1000, 0, 5)}}));
    ASSERT_EQ(base.devices.size(), 2u);
    EXPECT_EQ(base.nRequests, 105u);
    CCompareOptions options;
    const CRunComparison unchecked = CRunComparison::Compare(base, newer, options);
    QStringList rows;
    for (const CComparisonRow& row : unchecked.Rows())
        rows << QStringLiteral("%1 %2%3 %4/%5")
                    .arg(row.Name())
                    .arg(row.presence == CComparisonRow::EPresence::Both ? "both" : "")
                    .arg(row.presence == CComparisonRow::EPresence::BaseOnly ? "base" : "")
                    .arg(row.nBaseRequests)
                    .arg(row.nNewRequests);
    EXPECT_EQ(rows, (QStringList{QStringLiteral("line 2 both 100/100"), QStringLiteral("line 3 base 5/0"),
                                 QStringLiteral("cam-02 line 2 both 50/50"), QStringLiteral("cam-02 line 3 base 5/0")}));
    EXPECT_EQ(unchecked.BaseOnlyDevices(), QStringList{QStringLiteral("cam-01")});
    EXPECT_EQ(unchecked.NewOnlyDevices(), QStringList{QStringLiteral("cam-03")});
    EXPECT_FALSE(unchecked.Fails());  // nothing to check
    ASSERT_TRUE(options.ParseBounds(QStringLiteral("50%"), nullptr));
    const CRunComparison checked = CRunComparison::Compare(base, newer, options);
    EXPECT_TRUE(checked.Regressions().empty());
    EXPECT_EQ(checked.Missing(), (QStringList{QStringLiteral("line 3"), QStringLiteral("cam-02 line 3"),
                                              QStringLiteral("device cam-01")}));
    EXPECT_TRUE(checked.Fails());
}

// A report that cannot be compared says why.
TEST(CompareRuns, ReportsThatCannotBeReadSayWhy)
{
    const QByteArray good = RunReport(Requests(2, 3, 1000, 0, 1));
    struct CCase {
        const char* pszCase;
        QByteArray json;
        const char* pszProblem;
    };
    const CCase cases[] = {
        {"cut off", good.left(good.size() - 40), "not JSON, or cut off (a string without its end at byte 501)"},
        {"not JSON", "velkor", "not JSON, or cut off (an object expected at byte 0)"},
        {"another report", "{\"name\": 1}", "not a velkor-cli JSON report (no velkor_version, script or threshold_ms)"},
        {"newer format", RunReport(Requests(2, 3, 1000, 0, 1), "2.0.0"),
         "written by velkor-cli 2.0.0, a newer report format than this 1.0.1.4 reads"},
        {"request without line", RunReport("{\"url\": \"http://h/httpapi/x\", \"outcome\": \"ok\", \"time_us\": 5}"),
         "damaged: request 1 has no script line"},
        {"unknown outcome",
         RunReport("{\"line\": 2, \"url\": \"http://h/httpapi/x\", \"outcome\": \"great\", \"time_us\": 5}"),
         "damaged: request 1 has no known outcome"},
        {"answer without time", RunReport("{\"line\": 2, \"url\": \"http://h/httpapi/x\", \"outcome\": \"ok\"}"),
         "damaged: request 1 has a response but no time"},
        {"nested too deep", "{\"x\": " + QByteArray(100, '[') + QByteArray(100, ']') + "}",
         "not JSON, or cut off (values nested more than 64 deep at byte 70)"},
        {"trailing text", good + "x", "text after the end of the report"},
        {"JSON Lines", "{\"kind\": \"request\", \"index\": 1, \"line\": 2, \"url\": \"http://h/httpapi/x\", "
                       "\"time_us\": 5, \"outcome\": \"ok\"}\n{\"kind\": \"summary\", \"partial\": false}\n",
         "a JSON Lines file (--jsonl), not a JSON report: compare the run's JSON report (--json FILE)"},
        {"JSON Lines of a device list, cut off",
         "{\"device\": \"cam-01\", \"kind\": \"checkalive\", \"index\": 1}\n{\"device\": \"cam-01\", \"ki",
         "a JSON Lines file (--jsonl), not a JSON report"},
    };
    for (const CCase& c : cases) {
        CReportSamples samples;
        QString strProblem;
        EXPECT_FALSE(CReportSampleReader::Read(std::string_view(c.json.constData(), std::size_t(c.json.size())),
                                               QString::fromLatin1(kVersion), &samples, &strProblem))
            << c.pszCase;
        EXPECT_TRUE(strProblem.contains(QLatin1String(c.pszProblem))) << c.pszCase << ": " << strProblem.toStdString();
    }

    // A file larger than a report may be is refused before it is read (a
    // sparse file: no disk taken).
    QTemporaryDir dir;
    QFile huge(dir.filePath(QStringLiteral("huge.json")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(CReportSampleReader::kMaxBytes + (std::int64_t(1) << 29)));
    huge.close();
    CReportSamples samples;
    QString strProblem;
    EXPECT_FALSE(CReportSampleReader::ReadFile(huge.fileName(), QString::fromLatin1(kVersion), &samples, &strProblem));
    EXPECT_EQ(strProblem, QStringLiteral("2.5 GB, more than the 2 GB a report may have"));
}

}  // namespace
